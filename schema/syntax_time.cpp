// Generalized Time values as the directory validates them (RFC 4517 3.3.13).
#include <cstddef>
#include <string>
#include <string_view>

#include "schema/syntax_rules.h"

namespace quorvane::syntax_rules {
namespace {

constexpr std::size_t kMalformed = std::string_view::npos;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Century, year, month and day (both from 0), hour, minute, second.
using TimeFields = int[7];

// Reads the digit pairs of the date and time, at least up to the hour. Returns the position
// after them, or kMalformed where a pair is cut short or out of range. A second of 60 is a
// leap second.
std::size_t ReadFields(std::string_view s, TimeFields& fields) {
  static constexpr int kCeiling[7] = {100, 100, 12, 31, 24, 60, 60};
  std::size_t pos = 0;
  int field = 0;
  for (; field < 7 && pos < s.size() && IsDigit(s[pos]); ++field, pos += 2) {
    if (pos + 1 >= s.size() || !IsDigit(s[pos + 1])) return kMalformed;
    int number = (s[pos] - '0') * 10 + (s[pos + 1] - '0');
    if (field == 2 || field == 3) --number;
    const bool leapSecond = field == 6 && number == 60;
    if (number < 0 || (number >= kCeiling[field] && !leapSecond)) return kMalformed;
    fields[field] = number;
  }
  if (field < 5) return kMalformed;
  for (; field < 7; ++field) fields[field] = 0;
  return pos;
}

// The Gregorian rule as the directory applies it: a year ending in 00 is a leap year when its
// century is divisible by four.
int DaysInMonth(const TimeFields& f) {
  static constexpr int kDays[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                       {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};
  const bool leap = f[f[1] == 0 ? 0 : 1] % 4 == 0;
  return kDays[leap ? 1 : 0][f[2]];
}

// Whether the time moved to UTC by an offset of `offsetMinutes` (west of Greenwich for '-')
// stays within the years 0000 to 9999.
bool StaysInRange(const TimeFields& f, char sign, int offsetMinutes) {
  const int minutes = f[4] * 60 + f[5];
  if (sign == '-') {
    const bool lastDay = f[0] == 99 && f[1] == 99 && f[2] == 11 && f[3] == 30;
    return !lastDay || minutes + offsetMinutes < 24 * 60;
  }
  const bool firstDay = f[0] == 0 && f[1] == 0 && f[2] == 0 && f[3] == 0;
  return !firstDay || minutes - offsetMinutes >= 0;
}

// The zone after the time: "Z", or a sign with HH or HHMM, up to the end of the value.
bool IsZone(std::string_view zone, const TimeFields& fields) {
  if (zone == "Z") return true;
  if ((zone.size() != 3 && zone.size() != 5) || (zone[0] != '+' && zone[0] != '-')) return false;
  for (std::size_t i = 1; i < zone.size(); ++i) {
    if (!IsDigit(zone[i])) return false;
  }
  const int hours = (zone[1] - '0') * 10 + (zone[2] - '0');
  const int minutes = zone.size() == 5 ? (zone[3] - '0') * 10 + (zone[4] - '0') : 0;
  if (hours >= 24 || minutes >= 60) return false;
  return StaysInRange(fields, zone[0], hours * 60 + minutes);
}

}  // namespace

bool IsGeneralizedTime(std::string_view value) {
  TimeFields fields;
  std::size_t pos = ReadFields(value, fields);
  if (pos == kMalformed || fields[3] >= DaysInMonth(fields)) return false;
  if (pos < value.size() && (value[pos] == '.' || value[pos] == ',')) {
    const std::size_t digits = ++pos;
    while (pos < value.size() && IsDigit(value[pos])) ++pos;
    if (pos == digits) return false;
  }
  return IsZone(value.substr(pos), fields);
}

ValueCheck CheckGeneralizedTime(std::string_view value) {
  if (IsGeneralizedTime(value)) return Fits();
  // The directory takes only a capital Z for UTC; a value that is right in every other respect
  // means exactly the same with it.
  if (!value.empty() && value.back() == 'z') {
    std::string upper(value);
    upper.back() = 'Z';
    if (IsGeneralizedTime(upper)) return Repaired(std::move(upper), "lower-case time zone");
  }
  return Dropped("not a generalized time");
}

}  // namespace quorvane::syntax_rules
