#include "chacha.h"

#include <bit>

namespace kelvorin::chacha {
namespace {

// "expand 32-byte k" as four little-endian words.
constexpr std::uint32_t kSigma[4] = {0x61707865u, 0x3320646eu, 0x79622d32u, 0x6b206574u};

inline void quarter_round(Block& x, std::size_t a, std::size_t b, std::size_t c, std::size_t d) noexcept {
  x[a] += x[b];
  x[d] = std::rotl(x[d] ^ x[a], 16);
  x[c] += x[d];
  x[b] = std::rotl(x[b] ^ x[c], 12);
  x[a] += x[b];
  x[d] = std::rotl(x[d] ^ x[a], 8);
  x[c] += x[d];
  x[b] = std::rotl(x[b] ^ x[c], 7);
}

}  // namespace

Key key_from_bytes(const KeyBytes& bytes) noexcept {
  Key key{};
  for (std::size_t i = 0; i < key.size(); ++i) {
    key[i] = static_cast<std::uint32_t>(bytes[4 * i]) | static_cast<std::uint32_t>(bytes[4 * i + 1]) << 8 |
             static_cast<std::uint32_t>(bytes[4 * i + 2]) << 16 | static_cast<std::uint32_t>(bytes[4 * i + 3]) << 24;
  }
  return key;
}

Block initial_state(const Key& key, std::uint64_t counter, std::uint64_t stream) noexcept {
  Block s{};
  for (std::size_t i = 0; i < 4; ++i) s[i] = kSigma[i];
  for (std::size_t i = 0; i < 8; ++i) s[4 + i] = key[i];
  s[12] = static_cast<std::uint32_t>(counter);
  s[13] = static_cast<std::uint32_t>(counter >> 32);
  s[14] = static_cast<std::uint32_t>(stream);
  s[15] = static_cast<std::uint32_t>(stream >> 32);
  return s;
}

Block permute(const Block& input, unsigned rounds) noexcept {
  Block x = input;
  for (unsigned r = 0; r < rounds; r += 2) {
    // Column round.
    quarter_round(x, 0, 4, 8, 12);
    quarter_round(x, 1, 5, 9, 13);
    quarter_round(x, 2, 6, 10, 14);
    quarter_round(x, 3, 7, 11, 15);
    // Diagonal round.
    quarter_round(x, 0, 5, 10, 15);
    quarter_round(x, 1, 6, 11, 12);
    quarter_round(x, 2, 7, 8, 13);
    quarter_round(x, 3, 4, 9, 14);
  }
  for (std::size_t i = 0; i < kBlockWords; ++i) x[i] += input[i];
  return x;
}

}  // namespace kelvorin::chacha
