// Byte-string helpers shared by the engine, the profiles and the front ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorvane {

// Removes every byte of code 32 or less from both ends.
inline std::string_view TrimView(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}
std::string Trim(std::string_view text);

// Lower-cases the ASCII letters A to Z only; every other byte stays.
std::string LowerCase(std::string_view text);
inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// LowerAscii on eight bytes at once. Adding to the low seven bits of a byte never carries into
// the next byte, so each byte is tested for 'A'..'Z' on its own.
inline std::uint64_t LowerAsciiWord(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  const std::uint64_t low = word & ~kHighBits;
  const std::uint64_t atLeastA = low + (0x80 - 'A') * kOnes;
  const std::uint64_t aboveZ = low + (0x80 - 'Z' - 1) * kOnes;
  const std::uint64_t capitals = atLeastA & ~aboveZ & ~word & kHighBits;
  return word | (capitals >> 2);
}

// EqualsNoCase for two strings of the same size, 8 bytes or more; out of line, so that the
// many callers of EqualsNoCase stay small enough to be inlined where they are called.
bool EqualWordsNoCase(std::string_view a, std::string_view b);

// Compares with ASCII letters folded; eight bytes at a time from eight bytes on.
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  const std::size_t size = a.size();
  if (b.size() != size) return false;
  if (size >= 8) return EqualWordsNoCase(a, b);
  for (std::size_t i = 0; i < size; ++i) {
    if (a[i] != b[i] && LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// Bit i set when byte i of the 64 at `data` has code 13 or less.
inline std::uint64_t ControlMask64(const char* data) {
#if defined(__SSE2__)
  const __m128i limit = _mm_set1_epi8(13);
  std::uint64_t mask = 0;
  for (int part = 0; part < 4; ++part) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * part));
    // min(byte, 13) == byte exactly for the bytes 0 to 13, compared unsigned.
    const unsigned bits = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(bytes, limit), bytes)));
    mask |= std::uint64_t{bits} << (16 * part);
  }
  return mask;
#else
  std::uint64_t mask = 0;
  for (int i = 0; i < 64; ++i) {
    if (static_cast<unsigned char>(data[i]) <= 13) mask |= std::uint64_t{1} << i;
  }
  return mask;
#endif
}

// The position of the first byte of code 13 or less (NUL, TAB, LF, CR and the rarer control
// bytes) at or after `from`, or text.size(). Scans 16 or 32 bytes at a time where the processor
// can: line splitting runs this over every byte of a book.
inline std::size_t FindControlByte(std::string_view text, std::size_t from = 0) {
  const char* data = text.data();
  const std::size_t size = text.size();
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i limit = _mm_set1_epi8(13);
  // min(byte, 13) == byte exactly for the bytes 0 to 13, compared unsigned.
  auto controlBits = [limit](const char* at) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(bytes, limit), bytes)));
  };
  // 32 bytes at a time: most lines of a book end within them, so the loop rarely goes round.
  for (; i + 32 <= size; i += 32) {
    const unsigned mask = controlBits(data + i) | (controlBits(data + i + 16) << 16);
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
  for (; i + 16 <= size; i += 16) {
    const unsigned mask = controlBits(data + i);
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
  if (i < size && size >= 16) {
    // The last bytes: one block ending at the end, ignoring the bytes already looked at.
    const unsigned seen = 16 - static_cast<unsigned>(size - i);
    const unsigned rest = controlBits(data + size - 16) >> seen;
    return rest != 0 ? i + static_cast<std::size_t>(__builtin_ctz(rest)) : size;
  }
#endif
  for (; i < size; ++i) {
    if (static_cast<unsigned char>(data[i]) <= 13) return i;
  }
  return size;
}

// The high bit of every byte of `word` (eight bytes in memory order) that equals `byte`, and
// perhaps of bytes after such a byte: the lowest bit set is exact, which is all a search needs.
inline std::uint64_t ByteMatches64(std::uint64_t word, char byte) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  const std::uint64_t x = word ^ (kOnes * static_cast<unsigned char>(byte));
  return (x - kOnes) & ~x & (kOnes << 7);
}
// The position, in memory order, of the byte of the lowest bit set in a ByteMatches64 result.
inline std::size_t ByteIndex(std::uint64_t matches) {
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "words are read little-endian");
  return static_cast<std::size_t>(__builtin_ctzll(matches)) / 8;
}

// The position of the first `byte` in `text`, or text.size(); 16 bytes at a time where the
// processor can, without reading outside `text`.
inline std::size_t FindByte(std::string_view text, char byte) {
  const char* data = text.data();
  const std::size_t size = text.size();
  std::size_t i = 0;
#if defined(__SSE2__)
  if (size >= 16) {
    const __m128i sought = _mm_set1_epi8(byte);
    for (; i + 16 <= size; i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
      const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, sought));
      if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
    if (i == size) return size;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + size - 16));
    const unsigned mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, sought))) >> (16 - (size - i));
    return mask != 0 ? i + static_cast<std::size_t>(__builtin_ctz(mask)) : size;
  }
#endif
  // Short texts, most attribute names among them: two overlapping words, each searched at once.
  if (size >= 8) {
    std::uint64_t first;
    std::uint64_t last;
    std::memcpy(&first, data, 8);
    std::memcpy(&last, data + size - 8, 8);
    if (const std::uint64_t hit = ByteMatches64(first, byte)) return ByteIndex(hit);
    const std::uint64_t hit = ByteMatches64(last, byte);
    return hit != 0 ? size - 8 + ByteIndex(hit) : size;
  }
  while (i < size && data[i] != byte) ++i;
  return i;
}

// Replaces every non-overlapping occurrence of `from`, left to right, case-sensitively;
// inserted text is not scanned again. An empty `from` changes nothing.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

}  // namespace quorvane
