// The engine's one failure mode: a fatal internal error carrying a message.
//
// Engine code throws `Panic`; nothing inside the engine catches it.  Every
// Python entry point turns it into `PanicException` carrying the same text.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace kelvorin {

class Panic final : public std::exception {
 public:
  explicit Panic(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }

 private:
  std::string message_;
};

[[noreturn]] inline void panic(std::string message) {
  throw Panic(std::move(message));
}

// "index out of bounds: the len is {len} but the index is {index}"
[[noreturn]] void panic_index_out_of_bounds(std::uint64_t len, std::uint64_t index);

inline void check_index(std::uint64_t len, std::uint64_t index) {
  if (index >= len) [[unlikely]] {
    panic_index_out_of_bounds(len, index);
  }
}

}  // namespace kelvorin
