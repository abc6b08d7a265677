#include "graph_state.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

namespace kelvorin {
namespace {

// Bytes for `count` elements of `size` bytes, or 0 when that overflows.
std::size_t array_bytes(std::size_t count, std::size_t size) {
  return count > std::numeric_limits<std::size_t>::max() / size ? 0 : count * size;
}

// `rows` rows of `per_row` zeroed elements of type T.  Fresh zero pages:
// calloc of a large block maps them without touching them.
template <class T>
T* allocate_rows(std::size_t rows, std::size_t per_row) {
  if (rows == 0 || per_row == 0) return nullptr;
  if (per_row > std::numeric_limits<std::size_t>::max() / rows) throw std::bad_alloc();
  const std::size_t count = rows * per_row;
  if (array_bytes(count, sizeof(T)) == 0) throw std::bad_alloc();
  void* p = std::calloc(count, sizeof(T));
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<T*>(p);
}

}  // namespace

std::optional<std::size_t> GraphState::bytes_needed(Qubit qubit_amount) noexcept {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  if (qubit_amount == 0) return 0;
  if (qubit_amount > kMax - kScratchRows) return std::nullopt;
  const std::size_t n = static_cast<std::size_t>(qubit_amount);
  const std::size_t blocks = blocks_for_bits(qubit_amount);
  const std::size_t per_row = blocks * sizeof(Block) + row_index_words(qubit_amount) * sizeof(std::uint64_t);
  const std::size_t rows = n + kScratchRows;
  if (per_row > (kMax - n * sizeof(decltype(vops_)::value_type)) / rows) return std::nullopt;
  return rows * per_row + n * sizeof(decltype(vops_)::value_type);
}

void GraphState::FreeDeleter::operator()(void* p) const noexcept {
  std::free(p);
}

GraphState::GraphState(Qubit qubit_amount) {
  if (qubit_amount >= (Qubit{1} << 63)) panic("capacity overflow");
  row_blocks_ = blocks_for_bits(qubit_amount);
  index_words_ = row_index_words(qubit_amount);
  if (qubit_amount != 0) {
    if (!bytes_needed(qubit_amount)) throw std::bad_alloc();
    const std::size_t rows = static_cast<std::size_t>(qubit_amount) + kScratchRows;
    // The adjacency rows first: they are by far the larger part, and a
    // failure there must not have written anything first.
    rows_.reset(allocate_rows<Block>(rows, row_blocks_));
    index_.reset(allocate_rows<std::uint64_t>(rows, index_words_));
  }
  vops_.assign(static_cast<std::size_t>(qubit_amount), vop::H);
}

GraphState::GraphState(const GraphState& other)
    : vops_(), row_blocks_(other.row_blocks_), index_words_(other.index_words_) {
  const Qubit n = other.qubit_count();
  if (n != 0) {
    const std::size_t rows = static_cast<std::size_t>(n) + kScratchRows;
    rows_.reset(allocate_rows<Block>(rows, row_blocks_));
    index_.reset(allocate_rows<std::uint64_t>(rows, index_words_));
    // A summarised row copies only its non-empty blocks, so the pages of a
    // large sparse state's empty rows stay unmapped in the copy as they are
    // in the original; a short row, a few cache lines, is copied whole.
    // (The VOPs come last, so the rows are made with the length explicit.)
    for (Qubit q = 0; q < n; ++q) BitSpan(row_blocks(q), row_index(q), n).assign(other.adjacent(q));
  }
  vops_ = other.vops_;
}

GraphState& GraphState::operator=(const GraphState& other) {
  if (this != &other) *this = GraphState(other);
  return *this;
}

void ScratchRow::panic_returned_with_members(std::size_t slot) {
  panic("internal error: scratch row " + std::to_string(slot) + " was given back with members");
}

ScratchRow GraphState::lease_scratch() {
  if (index_ == nullptr) panic("internal error: a store of no qubits has no scratch rows");
  return ScratchRow::lease(leased_, kScratchRows, [&](std::size_t slot) {
    const Qubit q = qubit_count() + slot;
    return BitSpan(row_blocks(q), row_index(q), qubit_count());
  });
}

bool GraphState::scratch_rows_idle() const noexcept {
  if (leased_ != 0) return false;
  for (std::size_t slot = 0; slot < kScratchRows; ++slot) {
    const Qubit q = qubit_count() + slot;
    if (qubit_count() != 0 && !RowView(row_blocks(q), row_index(q), qubit_count()).empty()) return false;
  }
  return true;
}

bool GraphState::operator==(const GraphState& other) const {
  if (vops_ != other.vops_) return false;
  const std::size_t blocks = static_cast<std::size_t>(qubit_count()) * row_blocks_;
  return blocks == 0 || std::memcmp(rows_.get(), other.rows_.get(), blocks * sizeof(Block)) == 0;
}

}  // namespace kelvorin
