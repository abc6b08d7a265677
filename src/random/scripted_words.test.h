// A word source for tests that replays fixed words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "../panic.h"

namespace kelvorin {

// Replays a fixed list of words; taking more than it holds is a Panic.
class ScriptedWords {
 public:
  explicit ScriptedWords(std::vector<std::uint32_t> words) : words_(std::move(words)) {}

  // Words carrying `bits` in bit 31 and the opposite value in every other bit
  // (0 -> 0x7fffffff, 1 -> 0x80000000), so reading any bit but the top one
  // gives the wrong answer.
  static ScriptedWords from_bits(std::initializer_list<int> bits) {
    std::vector<std::uint32_t> words;
    words.reserve(bits.size());
    for (int b : bits) words.push_back(b != 0 ? 0x80000000u : 0x7fffffffu);
    return ScriptedWords(std::move(words));
  }

  std::uint32_t next_word() {
    if (taken_ == words_.size()) panic("scripted random words exhausted");
    return words_[taken_++];
  }

  std::size_t taken() const noexcept { return taken_; }
  std::size_t remaining() const noexcept { return words_.size() - taken_; }

 private:
  std::vector<std::uint32_t> words_;
  std::size_t taken_ = 0;
};

}  // namespace kelvorin
