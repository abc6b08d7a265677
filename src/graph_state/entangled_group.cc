#include "entangled_group.h"

#include <cstddef>

namespace kelvorin {

std::vector<Qubit> entangled_group(const GraphState& state, Qubit start) {
  const Qubit n = state.qubit_count();
  // Every qubit is queued at most once and marked when queued, so the queue
  // never needs to drop what it has handed out: it ends up holding exactly
  // the visited set, and `head` is the front of the live part.
  std::vector<Qubit> queue{start};
  // Membership of indices below n, in a scratch row of the store that is
  // emptied again however the walk ends; a start at or beyond n is refused at
  // its pop, before anything could be compared with it.
  if (n == 0) check_index(n, start);
  GraphState::ScratchRow visited = state.lease_scratch();
  if (start < n) visited->insert(start);
  for (std::size_t head = 0; head < queue.size(); ++head) {
    const Qubit o = queue[head];
    check_index(n, o);
    state.adjacent(o).for_each([&](Qubit v) {
      if (visited->insert(v)) queue.push_back(v);
    });
  }
  return queue;
}

}  // namespace kelvorin
