#include "panic.h"

namespace kelvorin {

void panic_index_out_of_bounds(std::uint64_t len, std::uint64_t index) {
  panic("index out of bounds: the len is " + std::to_string(len) + " but the index is " + std::to_string(index));
}

}  // namespace kelvorin
