// The lines of one record and the splits every rule makes of a line: name and value, attribute.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/text.h"

namespace quorvane {

// The trimmed, non-blank lines of one record, in source order. FixRecord rewrites them in
// place; an entry it empties is dropped when the record is written.
using RecordLines = std::vector<std::string>;

// A line split at its first colon: the name is the text up to and including that colon,
// trimmed; the value is the rest, trimmed. A line without a colon has an empty name and is
// all value. A Base64 line `name:: data` gives the value ": data", which marks the encoded form.
struct NameValue {
  std::string_view name;
  std::string_view value;
  // The attribute: the name without its colon and the blanks before it.
  std::string_view Attribute() const {
    return name.empty() ? name : TrimView(name.substr(0, name.size() - 1));
  }
};
inline NameValue SplitNameValue(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return {{}, TrimView(line)};
  // Views on either side of the colon, which lies in the line: no substring checks its bounds.
  const std::string_view name(line.data(), colon + 1);
  const std::string_view value(line.data() + colon + 1, line.size() - colon - 1);
  return {TrimView(name), TrimView(value)};
}

// The attribute name of a line without its colon and the blanks around it:
// "objectclass :" -> "objectclass".
inline std::string_view AttributeOf(std::string_view line) {
  const std::size_t colon = line.find(':');
  return colon == std::string_view::npos ? std::string_view() : TrimView(line.substr(0, colon));
}

// Where the value of a line of `attribute` starts, just after its colon; npos when the line
// is not one of that attribute (ASCII case ignored, blanks around the name allowed). The same
// test as comparing AttributeOf(line) with `attribute`, without looking for the colon first.
inline std::size_t ValueStartOf(std::string_view line, std::string_view attribute) {
  const std::string_view name = TrimStartView(line);
  if (!StartsWithNoCase(name, attribute)) return std::string_view::npos;
  const std::string_view colon = TrimStartView(name.substr(attribute.size()));
  if (!colon.starts_with(':')) return std::string_view::npos;
  return line.size() - colon.size() + 1;
}

}  // namespace quorvane
