// Random words for measurement outcomes and sampled axes.
//
// Engine code that needs randomness is written against `WordSource`: any type
// with `std::uint32_t next_word()`.  Production passes the calling thread's
// `RandomSource` (`thread_random_source()`); tests pass a `RandomSource` with
// a key of their choosing, or a `ScriptedWords` (scripted_words.test.h) that
// replays fixed words and counts how many were taken.  The draws `random_bit`
// and `uniform_int` are templates over the source, so the hot path is an
// inlined buffer read.
//
// `RandomSource` is a 12-round ChaCha keystream with a 64-bit block counter
// and stream number 0.  Each refill writes four blocks (64 words, 256 bytes)
// into the buffer.  A signed byte budget starts at 65536; a refill that finds
// it at or below zero first takes a new key, resets the counter and sets the
// budget to 65536 - 256, any other refill subtracts 256.  Every key therefore
// yields exactly 256 buffers.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <utility>
#include <vector>

#include "../panic.h"
#include "chacha.h"

namespace kelvorin {

template <class S>
concept WordSource = requires(S& s) {
  { s.next_word() } -> std::same_as<std::uint32_t>;
};

// Supplies a fresh 32-byte key each time it is called.
using KeySource = std::function<chacha::KeyBytes()>;

// 32 bytes from the operating system's secure entropy call.  Throws Panic when
// the call fails.
chacha::KeyBytes os_key();

// A key source that returns `key` every time.
inline KeySource fixed_key(const chacha::KeyBytes& key) {
  return [key] { return key; };
}

// A read call shaped like getrandom(2) without flags: returns the number of
// bytes written (possibly fewer than asked) or -1 with errno set.
using EntropyRead = std::ptrdiff_t (*)(void* buffer, std::size_t length);

// Fills `out` completely from `read`, retrying on EINTR and continuing after
// short reads.  Throws Panic on any other failure.
void fill_entropy(std::span<std::uint8_t> out, EntropyRead read);

class RandomSource {
 public:
  static constexpr unsigned kRounds = 12;
  static constexpr std::size_t kBufferWords = 64;
  static constexpr std::int64_t kBufferBytes = 256;
  static constexpr std::int64_t kReseedBytes = 65536;

  // Takes the first key from `keys` at once; the first draw fills the first
  // buffer from it.
  explicit RandomSource(KeySource keys = os_key);

  std::uint32_t next_word() {
    if (index_ == kBufferWords) [[unlikely]] {
      refill();
    }
    return buffer_[index_++];
  }

  // Drops the key and what is buffered: the next draw takes a new key.
  void rekey_at_next_draw() noexcept {
    index_ = kBufferWords;
    budget_ = 0;
  }

 private:
  void refill();

  KeySource keys_;
  chacha::Key key_;
  std::uint64_t counter_ = 0;
  std::uint64_t stream_ = 0;
  std::array<std::uint32_t, kBufferWords> buffer_{};
  std::size_t index_ = kBufferWords;
  std::int64_t budget_ = kReseedBytes;
};

// The calling thread's source, keyed from the operating system on the first
// call in that thread and destroyed with the thread.  The child of a fork()
// draws from a new key: it would otherwise go on with its parent's stream,
// and both processes would see the same outcomes.
RandomSource& thread_random_source();

// One random bit: the top bit of one word.
template <WordSource S>
std::uint8_t random_bit(S& source) {
  return static_cast<std::uint8_t>(source.next_word() >> 31);
}

// A uniform integer in [low, high), from one word, or two when the first lands
// in the biased tail of the multiply-shift map.  Throws Panic("cannot sample
// empty range") for low >= high before drawing anything.
template <WordSource S>
std::int32_t uniform_int(S& source, std::int32_t low, std::int32_t high) {
  if (low >= high) [[unlikely]] {
    panic("cannot sample empty range");
  }
  const std::uint32_t range = static_cast<std::uint32_t>(high) - static_cast<std::uint32_t>(low);
  const std::uint64_t product = std::uint64_t{source.next_word()} * range;
  std::uint32_t hi = static_cast<std::uint32_t>(product >> 32);
  const std::uint32_t lo = static_cast<std::uint32_t>(product);
  if (lo > 0u - range) {  // 0u - range is 2^32 - range, as range >= 1
    const auto hi2 = static_cast<std::uint32_t>((std::uint64_t{source.next_word()} * range) >> 32);
    if (std::uint64_t{lo} + hi2 > 0xffffffffu) hi += 1;
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(low) + hi);
}

}  // namespace kelvorin
