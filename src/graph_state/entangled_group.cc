#include "entangled_group.h"

#include <cstddef>
#include <cstdint>

namespace kelvorin {
namespace {

// The calling thread's marks of visited qubits, one bit per qubit: every bit
// is clear between walks, so a walk pays for the qubits it marks rather than
// for the qubit count.  They belong to the thread, not to the store, so that
// walks on several threads may share a store.
class VisitedMarks {
 public:
  // Clears every mark that `marked` lists (each qubit once) when it ends.
  VisitedMarks(Qubit n, const std::vector<Qubit>& marked) : marked_(marked) {
    if (words().size() < n / 64 + 1) words().resize(static_cast<std::size_t>(n / 64 + 1), 0);
  }
  ~VisitedMarks() {
    for (const Qubit q : marked_) words()[q / 64] &= ~bit(q);
  }
  VisitedMarks(const VisitedMarks&) = delete;
  VisitedMarks& operator=(const VisitedMarks&) = delete;

  bool contains(Qubit q) const noexcept { return (words()[q / 64] & bit(q)) != 0; }
  void mark(Qubit q) noexcept { words()[q / 64] |= bit(q); }

 private:
  static std::uint64_t bit(Qubit q) noexcept { return std::uint64_t{1} << (q % 64); }
  static std::vector<std::uint64_t>& words() noexcept {
    thread_local std::vector<std::uint64_t> words;
    return words;
  }
  const std::vector<Qubit>& marked_;
};

}  // namespace

std::vector<Qubit> entangled_group(const GraphState& state, Qubit start) {
  const Qubit n = state.qubit_count();
  check_index(n, start);
  // Every qubit is queued at most once and marked once queued, so the queue
  // never needs to drop what it has handed out: it ends up holding exactly
  // the visited set, and `head` is the front of the live part.  A qubit goes
  // into the queue before it is marked, so that the marks to clear are the
  // queue's however the walk ends (a failed push_back leaves none behind).
  std::vector<Qubit> queue{start};
  VisitedMarks visited(n, queue);
  visited.mark(start);
  for (std::size_t head = 0; head < queue.size(); ++head) {
    state.adjacent(queue[head]).for_each([&](Qubit v) {
      if (visited.contains(v)) return;
      queue.push_back(v);
      visited.mark(v);
    });
  }
  return queue;
}

}  // namespace kelvorin
