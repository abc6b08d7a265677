#include "random_source.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <pthread.h>

#if defined(__linux__)
#include <sys/random.h>
#elif defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
#include <unistd.h>
#else
#error "no secure entropy source known for this platform"
#endif

namespace kelvorin {
namespace {

std::ptrdiff_t os_read(void* buffer, std::size_t length) {
#if defined(__linux__)
  return ::getrandom(buffer, length, 0);
#else
  // getentropy fills at most 256 bytes per call and all of them or none.
  if (length > 256) length = 256;
  return ::getentropy(buffer, length) == 0 ? static_cast<std::ptrdiff_t>(length) : -1;
#endif
}

}  // namespace

void fill_entropy(std::span<std::uint8_t> out, EntropyRead read) {
  std::size_t filled = 0;
  while (filled < out.size()) {
    const std::ptrdiff_t got = read(out.data() + filled, out.size() - filled);
    if (got < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      panic(std::string("failed to obtain random bytes from the operating system: ") + std::strerror(error));
    }
    if (got == 0) panic("failed to obtain random bytes from the operating system: no bytes returned");
    filled += static_cast<std::size_t>(got);
  }
}

chacha::KeyBytes os_key() {
  chacha::KeyBytes key{};
  fill_entropy(key, os_read);
  return key;
}

RandomSource::RandomSource(KeySource keys) : keys_(std::move(keys)), key_(chacha::key_from_bytes(keys_())) {}

void RandomSource::refill() {
  if (budget_ <= 0) {
    key_ = chacha::key_from_bytes(keys_());
    counter_ = 0;
    stream_ = 0;
    budget_ = kReseedBytes - kBufferBytes;
  } else {
    budget_ -= kBufferBytes;
  }
  for (std::size_t b = 0; b < kBufferWords / chacha::kBlockWords; ++b) {
    const chacha::Block block = chacha::block(key_, counter_ + b, stream_, kRounds);
    for (std::size_t i = 0; i < chacha::kBlockWords; ++i) buffer_[b * chacha::kBlockWords + i] = block[i];
  }
  counter_ += kBufferWords / chacha::kBlockWords;
  index_ = 0;
}

namespace {

// The source of this thread, once it has one.
thread_local RandomSource* t_source = nullptr;

// Runs in the child of a fork, on the one thread the child has: the thread
// that forked.  Other threads' sources do not exist in the child.
void rekey_after_fork() noexcept {
  if (t_source != nullptr) t_source->rekey_at_next_draw();
}

struct ThreadSource {
  RandomSource source;
  ThreadSource() { t_source = &source; }
  ~ThreadSource() { t_source = nullptr; }
  ThreadSource(const ThreadSource&) = delete;
  ThreadSource& operator=(const ThreadSource&) = delete;
};

}  // namespace

RandomSource& thread_random_source() {
  static const int registered = pthread_atfork(nullptr, nullptr, rekey_after_fork);
  (void)registered;
  thread_local ThreadSource thread;
  return thread.source;
}

}  // namespace kelvorin
