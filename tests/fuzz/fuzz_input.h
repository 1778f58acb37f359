// Carves fuzz input bytes into the parameters a target needs, in a way any compiler builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace quorvane::fuzz {

// A broken property: report it and abort, which libFuzzer records as a crash with its input.
[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, what);
  std::abort();
}

#define FUZZ_CHECK(condition) \
  ((condition) ? (void)0 : ::quorvane::fuzz::Fail(#condition, __FILE__, __LINE__))

// Reads parameters from the front of the input; whatever is left is the payload. Every
// consumer is total: running out of bytes gives zeros and empty strings, never an error,
// so that every input is a valid case.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}

  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return b;
  }

  std::uint64_t Number() {
    std::uint64_t n = 0;
    for (int i = 0; i < 8; ++i) n = (n << 8) | Byte();
    return n;
  }

  // A string of up to `maxLength` bytes, its length given by the next byte.
  std::string_view String(std::size_t maxLength) {
    std::size_t length = Byte() % (maxLength + 1);
    if (length > rest_.size()) length = rest_.size();
    const std::string_view taken = rest_.substr(0, length);
    rest_.remove_prefix(length);
    return taken;
  }

  std::string_view Rest() const { return rest_; }

 private:
  std::string_view rest_;
};

}  // namespace quorvane::fuzz
