// The Base64 decoder for dn:: and member:: lines, and the encoder for values written back.
#include "engine/base64.h"

#include <array>
#include <cstdint>

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
  std::string result;
  AppendBase64Decoded(text, result);
  return result;
}

namespace {

// The length is checked on the text as given: embedded blanks or line breaks count.
bool HasBase64Length(std::string_view text) { return text.size() >= 4 && text.size() % 4 == 0; }

// Appends the decoded bytes of `text`, whose length HasBase64Length has accepted.
void AppendDecodedGroups(std::string_view text, std::string& out) {
  std::size_t pad = 0;
  while (pad < text.size() && text[text.size() - 1 - pad] == '=') ++pad;

  const std::size_t start = out.size();
  const std::size_t groups = text.size() / 4;
  out.resize(start + groups * 3);
  char* to = out.data() + start;
  const unsigned char* from = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t g = 0; g < groups; ++g, from += 4, to += 3) {
    const std::uint32_t n = (std::uint32_t{kIndex[from[0]]} << 18) |
                            (std::uint32_t{kIndex[from[1]]} << 12) |
                            (std::uint32_t{kIndex[from[2]]} << 6) | kIndex[from[3]];
    to[0] = static_cast<char>(n >> 16);
    to[1] = static_cast<char>(n >> 8);
    to[2] = static_cast<char>(n);
  }
  // Every trailing "=" removes one byte, however many there are.
  const std::size_t decoded = groups * 3;
  out.resize(start + (pad < decoded ? decoded - pad : 0));
}

}  // namespace

void AppendBase64Decoded(std::string_view text, std::string& out) {
  if (!HasBase64Length(text)) throw Error(kBase64LengthError);
  AppendDecodedGroups(text, out);
}

bool TryBase64ToStr(std::string_view text, std::string& out) {
  out.clear();
  if (!HasBase64Length(text)) return false;
  AppendDecodedGroups(text, out);
  return true;
}

std::string StrToBase64(std::string_view bytes) {
  std::string result;
  AppendBase64Encoded(bytes, result);
  return result;
}

void AppendBase64Encoded(std::string_view bytes, std::string& out) {
  const std::size_t start = out.size();
  out.resize(start + (bytes.size() + 2) / 3 * 4);
  char* to = out.data() + start;
  const unsigned char* from = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3, to += 4) {
    const unsigned n = (from[i] << 16) | (from[i + 1] << 8) | from[i + 2];
    to[0] = kAlphabet[(n >> 18) & 63];
    to[1] = kAlphabet[(n >> 12) & 63];
    to[2] = kAlphabet[(n >> 6) & 63];
    to[3] = kAlphabet[n & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned n = from[i] << 16;
    if (rest == 2) n |= from[i + 1] << 8;
    to[0] = kAlphabet[(n >> 18) & 63];
    to[1] = kAlphabet[(n >> 12) & 63];
    to[2] = rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
    to[3] = '=';
  }
}

}  // namespace quorvane
