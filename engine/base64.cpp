// The Base64 decoder for dn:: and member:: lines, and the encoder for values written back.
#include "engine/base64.h"

#include <array>

#include "engine/error.h"

namespace quorvane {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Characters outside the alphabet count as 61, so a stray byte never stops a decode.
constexpr std::array<unsigned char, 256> MakeIndexTable() {
  std::array<unsigned char, 256> table{};
  for (auto& value : table) value = 61;
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<unsigned char>(i);
  }
  return table;
}

constexpr std::array<unsigned char, 256> kIndex = MakeIndexTable();

}  // namespace

int Base64CharIndex(char c) { return kIndex[static_cast<unsigned char>(c)]; }

std::string Base64ToStr(std::string_view text) {
  // The length is checked on the text as given: embedded blanks or line breaks count.
  if (text.size() < 4 || text.size() % 4 != 0) throw Error(kBase64LengthError);

  std::size_t pad = 0;
  while (pad < text.size() && text[text.size() - 1 - pad] == '=') ++pad;

  std::string result;
  result.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const unsigned x1 = kIndex[static_cast<unsigned char>(text[i])];
    const unsigned x2 = kIndex[static_cast<unsigned char>(text[i + 1])];
    const unsigned x3 = kIndex[static_cast<unsigned char>(text[i + 2])];
    const unsigned x4 = kIndex[static_cast<unsigned char>(text[i + 3])];
    result.push_back(static_cast<char>(((x1 << 2) | (x2 >> 4)) & 0xFF));
    result.push_back(static_cast<char>(((x2 << 4) | (x3 >> 2)) & 0xFF));
    result.push_back(static_cast<char>(((x3 << 6) | x4) & 0xFF));
  }
  // Every trailing "=" removes one byte, however many there are.
  result.resize(pad < result.size() ? result.size() - pad : 0);
  return result;
}

std::string StrToBase64(std::string_view bytes) {
  std::string result;
  result.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned n = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    result.push_back(kAlphabet[(n >> 18) & 63]);
    result.push_back(kAlphabet[(n >> 12) & 63]);
    result.push_back(kAlphabet[(n >> 6) & 63]);
    result.push_back(kAlphabet[n & 63]);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    result.push_back(kAlphabet[(n >> 18) & 63]);
    result.push_back(kAlphabet[(n >> 12) & 63]);
    result.push_back(rest == 2 ? kAlphabet[(n >> 6) & 63] : '=');
    result.push_back('=');
  }
  return result;
}

}  // namespace quorvane
