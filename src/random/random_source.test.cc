#include "random_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <latch>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "../test_support.test.h"
#include "scripted_words.test.h"

namespace kelvorin {
namespace {

using kelvorin::testing::panic_text;

constexpr std::size_t kWordsPerKey = 256 * RandomSource::kBufferWords;

// Key k (from 0) is 32 bytes of value k + 1.  Each key must give exactly 256
// buffers, blocks 0 .. 1023 of its keystream, and the next key must be taken
// only when its first word is drawn.
TEST(RandomSource, EachKeyGivesExactly256BuffersOfItsKeystream) {
  int keys_taken = 0;
  RandomSource source([&keys_taken] {
    chacha::KeyBytes key;
    key.fill(static_cast<std::uint8_t>(++keys_taken));
    return key;
  });
  EXPECT_EQ(keys_taken, 1);
  for (int k = 0; k < 3; ++k) {
    chacha::KeyBytes bytes;
    bytes.fill(static_cast<std::uint8_t>(k + 1));
    const chacha::Key key = chacha::key_from_bytes(bytes);
    for (std::uint64_t counter = 0; counter < kWordsPerKey / 16; ++counter) {
      const chacha::Block b = chacha::block(key, counter, 0, 12);
      for (std::size_t i = 0; i < 16; ++i) ASSERT_EQ(source.next_word(), b[i]) << k << " " << counter;
      ASSERT_EQ(keys_taken, k + 1) << counter;
    }
  }
  RandomSource zero(fixed_key(chacha::KeyBytes{}));
  EXPECT_EQ(zero.next_word(), 0x6a9af49bu);
}

TEST(RandomSource, BitIsTheTopBitAndScriptsRefuseToRunDry) {
  ScriptedWords words({0x80000000u, 0x7fffffffu, 0xffffffffu, 0x00000001u});
  EXPECT_EQ(random_bit(words), 1);
  EXPECT_EQ(random_bit(words), 0);
  EXPECT_EQ(random_bit(words), 1);
  EXPECT_EQ(random_bit(words), 0);
  ScriptedWords bits = ScriptedWords::from_bits({1, 0});
  EXPECT_EQ(bits.next_word(), 0x80000000u);
  EXPECT_EQ(bits.next_word(), 0x7fffffffu);
  EXPECT_EQ(panic_text([&] { bits.next_word(); }), "scripted random words exhausted");
}

TEST(RandomSource, UniformFollowsTheMultiplyShiftRuleWithItsSecondWord) {
  struct Case {
    std::int32_t low, high;
    std::vector<std::uint32_t> words;
    std::int32_t expected;
  };
  const Case cases[] = {
      {0, 3, {0x55555554u}, 0},
      {0, 3, {0x55555556u}, 1},
      {0, 3, {0xffffffffu}, 2},               // lo = 2^32 - 3: one word is enough
      {0, 3, {0x55555555u, 0x55555555u}, 0},  // lo = 2^32 - 1, hi = 0
      {0, 3, {0x55555555u, 0x55555556u}, 1},  //   carry when hi(x2 * 3) >= 1
      {0, 3, {0xaaaaaaaau, 0xaaaaaaaau}, 1},  // lo = 2^32 - 2, hi = 1
      {0, 3, {0xaaaaaaaau, 0xaaaaaaabu}, 2},  //   carry when hi(x2 * 3) >= 2
      {-1, 2, {0xaaaaaaaau, 0xffffffffu}, 1},
      {5, 6, {0xffffffffu}, 5},
      {INT32_MIN, INT32_MAX, {0xffffffffu}, INT32_MAX - 1},
      {INT32_MIN, INT32_MAX, {0x80000000u, 0x80000000u}, -1},  // hi(x2 * range) = x2 - 1
      {INT32_MIN, INT32_MAX, {0x80000000u, 0x80000001u}, 0},
  };
  for (const Case& c : cases) {
    ScriptedWords words(c.words);
    EXPECT_EQ(uniform_int(words, c.low, c.high), c.expected) << c.low << " " << c.words[0];
    EXPECT_EQ(words.remaining(), 0u) << c.low << " " << c.words[0];
  }
  ScriptedWords none({});
  EXPECT_EQ(panic_text([&] { uniform_int(none, 3, 3); }), "cannot sample empty range");
  EXPECT_EQ(panic_text([&] { uniform_int(none, INT32_MAX, INT32_MIN); }), "cannot sample empty range");
}

// Bytes written per call, or -errno.
std::vector<std::ptrdiff_t> g_read_script;
std::size_t g_read_calls = 0;

std::ptrdiff_t scripted_read(void* buffer, std::size_t length) {
  const std::ptrdiff_t step = g_read_script.at(g_read_calls++);
  if (step < 0) {
    errno = static_cast<int>(-step);
    return -1;
  }
  const auto n = std::min(static_cast<std::size_t>(step), length);
  std::fill_n(static_cast<std::uint8_t*>(buffer), n, static_cast<std::uint8_t>(0xa0 + g_read_calls));
  return static_cast<std::ptrdiff_t>(n);
}

TEST(RandomSource, EntropyReadsRetryInterruptionsAndShortReads) {
  g_read_script = {5, -EINTR, 20, -EINTR, 100};
  g_read_calls = 0;
  chacha::KeyBytes key{};
  fill_entropy(key, scripted_read);
  EXPECT_EQ(g_read_calls, 5u);
  for (std::size_t i = 0; i < 32; ++i) EXPECT_EQ(key[i], i < 5 ? 0xa1 : i < 25 ? 0xa3 : 0xa5) << i;

  g_read_script = {4, -ENOSYS};
  g_read_calls = 0;
  EXPECT_EQ(panic_text([&] { fill_entropy(key, scripted_read); }).rfind("failed to obtain random bytes", 0), 0u);
  // Equal or all-zero operating-system keys: probability about 2^-255.
  const chacha::KeyBytes a = os_key(), b = os_key();
  EXPECT_NE(a, b);
  EXPECT_NE(a, chacha::KeyBytes{});
}

// Each count may stray 7 standard deviations from its mean; a correct source
// fails one of these 36 checks with probability below 1e-10.
void expect_binomial(std::uint64_t count, std::uint64_t trials, double p, const std::string& what) {
  const double mean = static_cast<double>(trials) * p;
  const double sd = std::sqrt(static_cast<double>(trials) * p * (1 - p));
  EXPECT_LE(std::fabs(static_cast<double>(count) - mean), 7.0 * sd) << what << ": " << count;
}

TEST(RandomSource, StatisticalSanity) {
  RandomSource& source = thread_random_source();
  constexpr std::uint64_t kWords = 1u << 20;
  std::uint64_t ones[32] = {}, top_bit_repeats = 0, previous = 2;
  for (std::uint64_t w = 0; w < kWords; ++w) {
    const std::uint32_t word = source.next_word();
    for (unsigned b = 0; b < 32; ++b) ones[b] += (word >> b) & 1u;
    top_bit_repeats += (word >> 31) == previous;
    previous = word >> 31;
  }
  for (unsigned b = 0; b < 32; ++b) expect_binomial(ones[b], kWords, 0.5, "bit " + std::to_string(b));
  expect_binomial(top_bit_repeats, kWords - 1, 0.5, "repeated top bit");

  constexpr std::uint64_t kDraws = 3u << 18;
  std::uint64_t counts[3] = {};
  for (std::uint64_t i = 0; i < kDraws; ++i) {
    const std::int32_t v = uniform_int(source, 0, 3);
    ASSERT_TRUE(v >= 0 && v < 3) << v;
    ++counts[v];
  }
  for (int v = 0; v < 3; ++v) expect_binomial(counts[v], kDraws, 1.0 / 3, "value " + std::to_string(v));
}

TEST(RandomSource, EachThreadHasItsOwn) {
  RandomSource* const main_source = &thread_random_source();
  RandomSource* where[2] = {};
  std::vector<std::uint32_t> words[2];
  std::latch both_created(2);  // both alive at once, so no address is reused
  auto run = [&](int t) {
    where[t] = &thread_random_source();
    both_created.arrive_and_wait();
    for (int i = 0; i < 8; ++i) words[t].push_back(where[t]->next_word());
  };
  std::thread a(run, 0), b(run, 1);
  a.join();
  b.join();
  EXPECT_NE(where[0], where[1]);
  EXPECT_NE(where[0], main_source);
  EXPECT_NE(where[1], main_source);
  EXPECT_NE(words[0], words[1]);  // independent keys: equal with probability 2^-256

  // Draws in another thread leave this thread's sequence alone.  A copy
  // follows the original only until the next reseed, where each takes its own
  // key, so step past one first: the first word where a copy and the original
  // disagree.  The next reseed is then 16383 words away.
  RandomSource& mine = *main_source;
  {
    RandomSource probe = mine;
    std::size_t steps = 0;
    while (mine.next_word() == probe.next_word()) ASSERT_LE(++steps, kWordsPerKey + 2);
  }
  RandomSource copy = mine;
  std::thread other([] {
    for (std::size_t i = 0; i < 3 * kWordsPerKey; ++i) thread_random_source().next_word();
  });
  other.join();
  for (std::size_t i = 0; i < 128; ++i) ASSERT_EQ(mine.next_word(), copy.next_word()) << i;
}

TEST(RandomSource, AForkedChildDrawsFromANewKey) {
  // The parent has drawn, so a buffer and a key are there to be inherited.
  RandomSource& mine = thread_random_source();
  mine.next_word();
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  std::uint32_t words[8];
  for (std::uint32_t& w : words) w = thread_random_source().next_word();
  if (child == 0) {
    const bool sent = write(pipe_ends[1], words, sizeof words) == static_cast<ssize_t>(sizeof words);
    _exit(sent ? 0 : 1);
  }
  std::uint32_t theirs[8];
  ASSERT_EQ(read(pipe_ends[0], theirs, sizeof theirs), static_cast<ssize_t>(sizeof theirs));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(pipe_ends[0]);
  close(pipe_ends[1]);
  // Equal with probability 2^-256 from independent keys.
  EXPECT_FALSE(std::equal(words, words + 8, theirs));
}

}  // namespace
}  // namespace kelvorin
