#include "working_copy.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <new>
#include <string>

#include "tuning.h"

namespace kelvorin {
namespace {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};

// `count` zeroed elements of T (at least one), or std::bad_alloc.
template <class T>
std::unique_ptr<T[], FreeDeleter> zeroed(std::size_t count) {
  T* p = static_cast<T*>(std::calloc(count == 0 ? 1 : count, sizeof(T)));
  if (p == nullptr) throw std::bad_alloc();
  return std::unique_ptr<T[], FreeDeleter>(p);
}

}  // namespace

// Rows for copies of stores of one bit length, all empty and untaken between
// copies, made a slab at a time.  `taken` maps each qubit to the row that
// holds it, nullptr between copies; it may be longer than the store.
struct WorkingCopy::Pool {
  struct Slab {
    std::unique_ptr<Block[], FreeDeleter> blocks;
    std::unique_ptr<std::uint64_t[], FreeDeleter> index;
    std::unique_ptr<Row[]> rows;
    std::size_t count;
  };

  std::uint64_t bit_len = 0;
  std::vector<Row*> taken;
  std::vector<Slab> slabs;
  std::vector<Row*> rows;  // every slab's rows; rows[0 .. used) are taken
  std::size_t used = 0;
  Slab scratch{};  // the rows a measurement leases (the X branch takes two)
  std::uint8_t leased = 0;
  bool busy = false;

  static constexpr std::size_t kScratchRows = 2;
  static constexpr std::size_t kFirstSlabRows = 16;

  // A slab of `count` empty rows for stores of bit_len bits.
  Slab make_slab(std::size_t count) const {
    const std::size_t blocks = blocks_for_bits(bit_len), words = row_index_words(bit_len);
    Slab slab{zeroed<Block>(count * blocks), zeroed<std::uint64_t>(count * words), nullptr, count};
    slab.rows.reset(new Row[count]);
    for (std::size_t k = 0; k < count; ++k)
      slab.rows[k] = {slab.blocks.get() + k * blocks, slab.index.get() + k * words, 0, 0};
    return slab;
  }

  // One more slab, as large as all before it (so that a copy of many rows
  // makes few), its rows added to `rows`.
  void grow() {
    Slab slab = make_slab(std::max(kFirstSlabRows, rows.size()));
    rows.reserve(rows.size() + slab.count);
    slabs.reserve(slabs.size() + 1);
    for (std::size_t k = 0; k < slab.count; ++k) rows.push_back(&slab.rows[k]);
    slabs.push_back(std::move(slab));
  }

  // Makes the pool serve stores of `n` bits: rows of another length go.
  void fit(std::uint64_t n) {
    if (taken.size() < n) taken.resize(static_cast<std::size_t>(n), nullptr);
    if (bit_len != n || scratch.rows == nullptr) {
      slabs.clear();
      rows.clear();
      scratch = Slab{};
      bit_len = n;
      scratch = make_slab(kScratchRows);
    }
  }

  // Keeps slabs of at most `bytes` in all (and at least the first).
  void trim(std::size_t row_bytes, std::size_t bytes) {
    std::size_t kept = 0, total = 0;
    while (kept < slabs.size() && (kept == 0 || (total + slabs[kept].count) * row_bytes <= bytes))
      total += slabs[kept++].count;
    slabs.resize(kept);
    rows.resize(total);
  }

  static Pool& of_this_thread() {
    thread_local Pool pool;
    return pool;
  }
};

WorkingCopy::WorkingCopy(const GraphState& base)
    : base_(base),
      own_pool_(Pool::of_this_thread().busy ? std::make_unique<Pool>() : nullptr),
      pool_(own_pool_ != nullptr ? *own_pool_ : Pool::of_this_thread()),
      taken_(nullptr) {
  pool_.fit(base.qubit_count());
  taken_ = pool_.taken.data();
  pool_.busy = true;
}

WorkingCopy::~WorkingCopy() {
  for (std::size_t k = 0; k < pool_.used; ++k) {
    Row& row = *pool_.rows[k];
    span(row).clear();
    pool_.taken[row.qubit] = nullptr;
  }
  pool_.used = 0;
  // A large copy's rows are not all kept for the next one.
  const std::size_t row_bytes = base_.blocks_per_row() * sizeof(Block) + sizeof(Row);
  pool_.trim(row_bytes, tuning::kWorkingCopyKeptBytes);
  pool_.busy = false;
}

void WorkingCopy::take(Qubit q) {
  if (taken_[q] != nullptr) return;
  if (pool_.used == pool_.rows.size()) pool_.grow();
  Row& row = *pool_.rows[pool_.used];
  span(row).assign(base_.adjacent(q));
  row.vop = base_.vop(q);
  row.qubit = q;
  pool_.taken[q] = &row;
  ++pool_.used;
}

ScratchRow WorkingCopy::lease_scratch() {
  return ScratchRow::lease(pool_.leased, Pool::kScratchRows,
                           [&](std::size_t slot) { return span(pool_.scratch.rows[slot]); });
}

void WorkingCopy::panic_not_taken(Qubit q) {
  panic("internal error: the working copy changes qubit " + std::to_string(q) + ", which it has not taken");
}

}  // namespace kelvorin
