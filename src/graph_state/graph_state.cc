#include "graph_state.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace kelvorin {
namespace {

// Bytes for n rows of `row_blocks` blocks, or 0 when that overflows.
std::size_t slab_bytes(Qubit n, std::size_t row_blocks) {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  if (row_blocks != 0 && n > kMax / row_blocks) return 0;
  const std::size_t blocks = static_cast<std::size_t>(n) * row_blocks;
  if (blocks > kMax / sizeof(Block)) return 0;
  return blocks * sizeof(Block);
}

Block* allocate_rows(Qubit n, std::size_t row_blocks) {
  if (n == 0 || row_blocks == 0) return nullptr;
  const std::size_t bytes = slab_bytes(n, row_blocks);
  // Fresh zero pages: calloc of a large block maps them without touching.
  void* p = bytes == 0 ? nullptr : std::calloc(bytes / sizeof(Block), sizeof(Block));
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<Block*>(p);
}

}  // namespace

void GraphState::FreeDeleter::operator()(Block* p) const noexcept { std::free(p); }

GraphState::GraphState(Qubit qubit_amount) {
  if (qubit_amount >= (Qubit{1} << 63)) panic("capacity overflow");
  row_blocks_ = blocks_for_bits(qubit_amount);
  // The adjacency rows first: they are by far the larger part, and a failure
  // there must not have written n bytes of VOPs first.
  rows_.reset(allocate_rows(qubit_amount == 0 ? 0 : qubit_amount + kScratchRows, row_blocks_));
  vops_.assign(static_cast<std::size_t>(qubit_amount), vop::H);
}

GraphState::GraphState(const GraphState& other) : vops_(), row_blocks_(other.row_blocks_), rows_() {
  const Qubit n = other.qubit_count();
  if (n != 0) {
    rows_.reset(allocate_rows(n + kScratchRows, row_blocks_));
    // Only non-zero stretches are written, so the pages of a sparse state's
    // empty rows stay unmapped in the copy as they are in the original.
    constexpr std::size_t kStretch = 16;
    const std::size_t total = static_cast<std::size_t>(n) * row_blocks_;
    const Block* from = other.rows_.get();
    Block* to = rows_.get();
    for (std::size_t i = 0; i < total; i += kStretch) {
      const std::size_t len = total - i < kStretch ? total - i : kStretch;
      Block any = 0;
      for (std::size_t k = 0; k < len; ++k) any |= from[i + k];
      if (any != 0) std::memcpy(to + i, from + i, len * sizeof(Block));
    }
  }
  vops_ = other.vops_;
}

GraphState& GraphState::operator=(const GraphState& other) {
  if (this != &other) *this = GraphState(other);
  return *this;
}

bool GraphState::operator==(const GraphState& other) const {
  if (vops_ != other.vops_) return false;
  const std::size_t bytes = slab_bytes(qubit_count(), row_blocks_);
  return bytes == 0 || std::memcmp(rows_.get(), other.rows_.get(), bytes) == 0;
}

}  // namespace kelvorin
