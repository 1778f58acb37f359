// The command line of quorvane-fix: its options, their defaults and the help text.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvane {

// A command line that cannot be run; the message says what is wrong with it.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct FixOptions {
  std::string baseDN;                      // used as given; an empty one appends nothing
  std::optional<std::string> profile;      // a profile name or an .ini path, as given
  std::optional<std::uint64_t> startValue;  // --seed: reproducible uniqueness numbers
  std::optional<std::string> output;       // absent: standard output
  std::string input = "-";                 // "-": standard input
  bool help = false;
  bool quiet = false;                      // --quiet: no summary line at the end
  // Where the directory's schema comes from, in order: "builtin", an ldap:// or ldaps://
  // address, or a schema file. None: the built-in schema.
  std::vector<std::string> schemaSources;
  bool noSchema = false;                   // --no-schema: no schema checks at all
  std::optional<std::string> bindDN;       // a server's schema read as this DN
  std::optional<std::string> passwordFile;  // its password: the file's first line
  bool startTLS = false;
  bool verbose = false;                    // schema repairs reported record by record
};

// Parses argv[1..argc-1]; throws UsageError. Options may be written "--name VALUE" or
// "--name=VALUE"; "--" ends the options. Options that contradict each other, or that would
// be left unused (a bind DN without a server to bind to), are usage errors too.
FixOptions ParseFixOptions(int argc, const char* const* argv);

// The profile file a --profile value names: a value holding "/" or ending in ".ini" is a path,
// anything else the name of a profile beside the executable (`appDir`, with its trailing "/").
std::string ProfileFileName(const std::string& value, const std::string& appDir);

std::string FixUsage();  // the full --help text
std::string FixUsageHint();  // the one line shown after a usage error

}  // namespace quorvane
