#include "chacha.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvorin::chacha {
namespace {

// The first bytes of a block as keystream (little-endian words), in hex.
std::string hex_bytes(const Block& block, std::size_t byte_count) {
  std::string out;
  for (std::size_t i = 0; i < byte_count; ++i) {
    const auto byte = (block[i / 4] >> (8 * (i % 4))) & 0xffu;
    out += "0123456789abcdef"[byte >> 4];
    out += "0123456789abcdef"[byte & 0xfu];
  }
  return out;
}

TEST(ChaCha, ZeroKeyKnownAnswersForTwelveAndTwentyRounds) {
  const Block b12 = block(Key{}, 0, 0, 12);
  EXPECT_EQ(b12[0], 0x6a9af49bu);
  EXPECT_EQ(hex_bytes(b12, 32), "9bf49a6a0755f953811fce125f2683d50429c3bb49e074147e0089a52eae155f");
  EXPECT_EQ(hex_bytes(block(Key{}, 0, 0, 20), 32), "76b8e0ada0f13d90405d6ae55386bd28bdd219b8a08ded1aa836efcc8b770dc7");
}

// The published 20-round vector with key bytes 00..1f, block counter 1 and
// nonce 00:00:00:09:00:00:00:4a:00:00:00:00 in the 32-bit-counter layout; in
// the 64-bit layout the nonce's first word is the counter's high half.  It
// pins the byte order of the key and the places of counter and stream.
TEST(ChaCha, KeyCounterAndStreamLayoutKnownAnswer) {
  KeyBytes bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  const Block expected = {0xe4e7f110u, 0x15593bd1u, 0x1fdd0f50u, 0xc47120a3u, 0xc7f4d1c7u, 0x0368c033u,
                          0x9aaa2204u, 0x4e6cd4c3u, 0x466482d2u, 0x09aa9f07u, 0x05d7c214u, 0xa2028bd9u,
                          0xd19c12b5u, 0xb94e16deu, 0xe883d0cbu, 0x4e3c50a2u};
  EXPECT_EQ(block(key_from_bytes(bytes), 0x0900000000000001ull, 0x4a000000ull, 20), expected);
  const Block s = initial_state(Key{}, 0x0123456789abcdefull, 0xfedcba9876543210ull);
  EXPECT_EQ(s[12], 0x89abcdefu);
  EXPECT_EQ(s[13], 0x01234567u);
  EXPECT_EQ(s[14], 0x76543210u);
  EXPECT_EQ(s[15], 0xfedcba98u);
}

}  // namespace
}  // namespace kelvorin::chacha
