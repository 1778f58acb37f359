// The whole-run helpers of the record rules' tests: a book in, its output, messages and keys out.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/repair_run.h"
#include "engine/text_lines.h"

namespace quorvane {
namespace record_book {

inline constexpr std::string_view kBase = "dc=contacts,dc=test";

// Always the same number: a made-unique DN gains "0" (first attempt) and "57".
class FixedRandom : public RandomSource {
 public:
  int Next() override { return 57; }
};

// Error messages as "line: text", in the order the run reports them.
class ErrorLog : public Log {
 public:
  void Write(std::string_view text, int level, std::size_t line) override {
    if (level > 0) errors.push_back(std::to_string(line) + ": " + std::string(text));
  }
  std::vector<std::string> errors;
};

struct Outcome {
  std::string output;  // one "\n" after every line
  std::vector<std::string> errors;
  std::vector<std::string> keys;
};

inline Outcome RunBook(std::string_view input, const TransformMap& map = {},
                std::string_view base = kBase) {
  UsedDNs usedDNs;
  FixedRandom random;
  ErrorLog log;
  Outcome outcome;
  for (const std::string& line :
       RunRepair(SplitTextLines(input), base, map, usedDNs, random, &log)) {
    outcome.output.append(line).append("\n");
  }
  outcome.errors = std::move(log.errors);
  for (std::size_t i = 0; i < usedDNs.size(); ++i) outcome.keys.emplace_back(usedDNs[i]);
  return outcome;
}

inline void ExpectRepair(std::string_view input, std::string_view expected, const TransformMap& map = {},
                  std::string_view base = kBase) {
  EXPECT_EQ(RunBook(input, map, base).output, expected) << "input:\n" << input;
}

struct Case {
  const char* name;
  const char* input;
  const char* output;
};

template <std::size_t N>
void ExpectCases(const Case (&cases)[N], const TransformMap& map = {}) {
  for (const Case& c : cases) EXPECT_EQ(RunBook(c.input, map).output, c.output) << c.name;
}

using Errors = std::vector<std::string>;

}  // namespace record_book
}  // namespace quorvane
