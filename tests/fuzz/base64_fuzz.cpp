// Fuzzes the Base64 decoder of dn:: and member:: lines with arbitrary text.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/base64.h"
#include "engine/error.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Encode(std::string_view bytes) {
  std::string text;
  for (std::size_t i = 0; i + 3 <= bytes.size(); i += 3) {
    const auto a = static_cast<std::uint8_t>(bytes[i]);
    const auto b = static_cast<std::uint8_t>(bytes[i + 1]);
    const auto c = static_cast<std::uint8_t>(bytes[i + 2]);
    text += kAlphabet[a >> 2];
    text += kAlphabet[((a & 3) << 4) | (b >> 4)];
    text += kAlphabet[((b & 15) << 2) | (c >> 6)];
    text += kAlphabet[c & 63];
  }
  return text;
}

}  // namespace

// The decoder rejects a bad length with its one message and decodes everything else: three
// bytes per group of four, less one per trailing "=". Text made only of alphabet characters
// encodes back to itself.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool badLength = size < 4 || size % 4 != 0;
  std::string decoded;
  try {
    decoded = quorvane::Base64ToStr(text);
  } catch (const quorvane::Error& e) {
    FUZZ_CHECK(badLength);
    FUZZ_CHECK(std::strcmp(e.what(), quorvane::kBase64LengthError) == 0);
    return 0;
  }
  FUZZ_CHECK(!badLength);

  std::size_t pad = 0;
  while (pad < size && text[size - 1 - pad] == '=') ++pad;
  const std::size_t full = size / 4 * 3;
  FUZZ_CHECK(decoded.size() == full - (pad < full ? pad : full));

  if (text.find_first_not_of(kAlphabet) == std::string_view::npos) {
    FUZZ_CHECK(Encode(decoded) == text);
  }
  for (char c : text) {
    const int index = quorvane::Base64CharIndex(c);
    const std::size_t at = kAlphabet.find(c);
    FUZZ_CHECK(index == (at == std::string_view::npos ? 61 : static_cast<int>(at)));
  }
  return 0;
}
