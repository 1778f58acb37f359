// Fuzzes the file line splitter: any chunking of a stream must give the lines of the whole text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text_lines.h"
#include "tests/fuzz/fuzz_input.h"

// Input: one byte choosing the chunk sizes, then the text. The chunk sizes cycle through a
// short pattern so that boundaries fall inside CR LF pairs, just before NUL bytes and so on.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvane::fuzz::FuzzInput input(data, size);
  const std::uint8_t pattern = input.Byte();
  const std::string_view text = input.Rest();

  const std::vector<std::string> whole = quorvane::SplitTextLines(text);

  std::vector<std::string> chunked;
  quorvane::LineSplitter splitter;
  auto keep = [&chunked](std::string_view line) { chunked.emplace_back(line); };
  if (pattern == 0) {
    splitter.Feed(text, keep);
  } else {
    // Sizes 0 to 7 from the three bit groups of `pattern`; an empty chunk must change nothing.
    std::size_t pos = 0;
    for (unsigned step = 0; pos < text.size(); ++step) {
      const std::size_t length = (pattern >> ((step % 3) * 3)) & 7u;
      splitter.Feed(text.substr(pos, length), keep);
      pos += length;
    }
  }
  splitter.Finish(keep);
  FUZZ_CHECK(chunked == whole);

  // A line never holds a line break, NUL or TAB; nothing after a NUL byte is read.
  const std::string_view beforeNul = text.substr(0, text.find('\0'));
  std::size_t bytes = 0;
  for (const std::string& line : whole) {
    FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\t\0", 4)) == std::string::npos);
    bytes += line.size();
  }
  std::size_t expected = 0;
  for (char c : beforeNul) expected += c == '\t' ? 4 : (c == '\r' || c == '\n') ? 0 : 1;
  FUZZ_CHECK(bytes == expected);
  FUZZ_CHECK(splitter.Stopped() == (beforeNul.size() != text.size()));
  return 0;
}
