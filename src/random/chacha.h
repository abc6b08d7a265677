// The ChaCha block function in its original layout: a 256-bit key, a 64-bit
// block counter in state words 12-13 and a 64-bit stream number (nonce) in
// words 14-15, all little-endian.  The round count is a parameter so that the
// 12-round generator and the widely published 20-round vectors share one
// implementation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kelvorin::chacha {

inline constexpr std::size_t kKeyBytes = 32;
inline constexpr std::size_t kBlockWords = 16;

using Key = std::array<std::uint32_t, 8>;
using KeyBytes = std::array<std::uint8_t, kKeyBytes>;
using Block = std::array<std::uint32_t, kBlockWords>;

// The key words read little-endian from 32 bytes.
Key key_from_bytes(const KeyBytes& bytes) noexcept;

// The input state: "expand 32-byte k", the key, the counter and the stream.
Block initial_state(const Key& key, std::uint64_t counter, std::uint64_t stream) noexcept;

// `rounds` rounds (an even number: rounds / 2 double rounds) over `input`,
// followed by the word-wise addition of `input`.
Block permute(const Block& input, unsigned rounds) noexcept;

// One keystream block: permute(initial_state(key, counter, stream), rounds).
inline Block block(const Key& key, std::uint64_t counter, std::uint64_t stream, unsigned rounds) noexcept {
  return permute(initial_state(key, counter, stream), rounds);
}

}  // namespace kelvorin::chacha
