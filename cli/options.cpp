// The command line of quorvane-fix: its options, their defaults and the help text.
#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>

#include "engine/defaults.h"
#include "profiles/profiles.h"
#include "schema/server_schema.h"

namespace quorvane {
namespace {

std::uint64_t ParseStartValue(std::string_view text) {
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    throw UsageError("--seed needs a whole number from 0 to 18446744073709551615, not \"" +
                     std::string(text) + "\"");
  }
  return value;
}

// Splits "--name=value"; `value` stays empty when there is no "=".
bool SplitInlineValue(std::string_view arg, std::string_view& name, std::optional<std::string>& value) {
  const std::size_t eq = arg.find('=');
  if (eq == std::string_view::npos) {
    name = arg;
    return false;
  }
  name = arg.substr(0, eq);
  value = std::string(arg.substr(eq + 1));
  return true;
}

// The options without a value; false when `arg` is none of them.
bool TakeFlag(std::string_view arg, FixOptions& options) {
  if (arg == "--help" || arg == "-h") {
    options.help = true;
  } else if (arg == "--quiet" || arg == "-q") {
    options.quiet = true;
  } else if (arg == "--no-schema") {
    options.noSchema = true;
  } else if (arg == "--starttls") {
    options.startTLS = true;
  } else if (arg == "--verbose") {
    options.verbose = true;
  } else {
    return false;
  }
  return true;
}

constexpr std::string_view kValueOptions[] = {
    "--base-dn", "--profile", "--seed", "--output", "--schema", "--bind-dn", "--password-file"};

void NeedNonEmpty(const std::string& value, const char* message) {
  if (value.empty()) throw UsageError(message);
}

void TakeValue(std::string_view name, const std::string& value, FixOptions& options) {
  if (name == "--base-dn") {
    options.baseDN = value;
  } else if (name == "--profile") {
    NeedNonEmpty(value, "--profile needs a profile name or an .ini file");
    options.profile = value;
  } else if (name == "--seed") {
    options.startValue = ParseStartValue(value);
  } else if (name == "--output") {
    if (value.empty() || value == "-") throw UsageError("--output needs a file name");
    options.output = value;
  } else if (name == "--schema") {
    NeedNonEmpty(value, "--schema needs builtin, an ldap:// or ldaps:// address, or a schema file");
    options.schemaSources.push_back(value);
  } else if (name == "--bind-dn") {
    NeedNonEmpty(value, "--bind-dn needs a DN");
    options.bindDN = value;
  } else {
    NeedNonEmpty(value, "--password-file needs a file name");
    options.passwordFile = value;
  }
}

// Options that contradict each other, or that nothing would use, are refused rather than
// quietly ignored: a script that binds to read the schema must not run without it.
void CheckCombination(const FixOptions& options) {
  if (options.noSchema && !options.schemaSources.empty()) {
    throw UsageError("--no-schema and --schema cannot be given together");
  }
  if (options.bindDN && !options.passwordFile) {
    throw UsageError("--bind-dn needs --password-file (the password is read only from a file)");
  }
  if (options.passwordFile && !options.bindDN) throw UsageError("--password-file needs --bind-dn");
  const bool server =
      std::any_of(options.schemaSources.begin(), options.schemaSources.end(),
                  [](const std::string& source) { return IsServerAddress(source); });
  if (!server && (options.bindDN || options.startTLS)) {
    throw UsageError(std::string(options.bindDN ? "--bind-dn" : "--starttls") +
                     " is only for a server's schema (--schema ldap://HOST or ldaps://HOST)");
  }
}

// The options of the schema step, between --output and --quiet in the help.
constexpr char kSchemaOptionsHelp[] =
    "  --schema SOURCE   the directory's schema, which the records are checked against and\n"
    "                    repaired for: \"builtin\" (the schemas a stock Debian slapd serves:\n"
    "                    core, cosine, nis, inetorgperson), an ldap:// or ldaps:// address\n"
    "                    (the server's own schema, read at start), or a schema file (.schema,\n"
    "                    an LDIF subschema entry or cn=config LDIF; ./builtin for a file of\n"
    "                    that name). Repeatable: each source adds to those before it, so a\n"
    "                    file that builds on the standard schemas follows --schema builtin.\n"
    "                    Default: builtin\n"
    "  --no-schema       check nothing against a schema\n"
    "  --bind-dn DN      read a server's schema bound as DN (default: anonymously)\n"
    "  --password-file FILE\n"
    "                    the bind password: the first line of FILE, without its line end;\n"
    "                    it is never shown\n"
    "  --starttls        require StartTLS on an ldap:// server before binding; an ldaps://\n"
    "                    server's certificate is always checked against the system's\n"
    "  --verbose         report the schema repairs record by record\n";

constexpr char kExitStatusHelp[] =
    "Exit status:\n"
    "  0  the repair ran (problems in records are reported, not fatal)\n"
    "  1  an unexpected internal failure\n"
    "  2  a usage error, a file that cannot be read or written (input, profile, schema,\n"
    "     password, output; the message names the file and the system's reason), or a\n"
    "     schema that cannot be loaded (a server that cannot be reached within 10 seconds\n"
    "     or refuses the bind); nothing is written then\n"
    "\n"
    "Schema definitions that cannot be used are left out with a warning on standard error,\n"
    "\"schema FILE:LINE: MESSAGE\", and the repair goes on.\n";

}  // namespace

FixOptions ParseFixOptions(int argc, const char* const* argv) {
  FixOptions options;
  options.baseDN = std::string(kDefaultBaseDN);
  bool haveInput = false;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      if (haveInput) throw UsageError("only one input file may be given, not also \"" + std::string(arg) + "\"");
      options.input = std::string(arg);
      haveInput = true;
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (TakeFlag(arg, options)) continue;
    std::string_view name;
    std::optional<std::string> value;
    SplitInlineValue(arg, name, value);
    if (std::find(std::begin(kValueOptions), std::end(kValueOptions), name) ==
        std::end(kValueOptions)) {
      throw UsageError("unknown option \"" + std::string(arg) + "\"");
    }
    if (!value) {
      if (i + 1 >= argc) throw UsageError(std::string(name) + " needs a value");
      value = argv[++i];
    }
    TakeValue(name, *value, options);
  }
  CheckCombination(options);
  return options;
}

std::string ProfileFileName(const std::string& value, const std::string& appDir) {
  const bool isPath = value.find('/') != std::string::npos ||
                      (value.size() >= 4 && value.compare(value.size() - 4, 4, ".ini") == 0);
  return isPath ? value : ProfilePath(appDir, value);
}

std::string FixUsageHint() { return "Try \"quorvane-fix --help\" for more information."; }

std::string FixUsage() {
  std::string text =
      "Usage: quorvane-fix [--base-dn DN] [--profile NAME|FILE.ini] [--seed N] [--output FILE]\n"
      "                    [--schema SOURCE]... [--no-schema] [--bind-dn DN --password-file FILE]\n"
      "                    [--starttls] [--verbose] [--quiet] [INPUT]\n"
      "\n"
      "Repairs LDIF exported from an address book so that it imports into an LDAP directory:\n"
      "decodes Base64 DNs, escapes DNs (RFC 4514), puts every entry under the base DN, makes\n"
      "every DN unique, applies the rules of a transform profile, normalises booleans, drops\n"
      "empty values and adds missing sn/cn lines. The result is the same as the window's.\n"
      "\n"
      "Options:\n"
      "  --base-dn DN      base DN appended to every DN (default: " +
      std::string(kDefaultBaseDN) +
      ");\n"
      "                    used as given; an empty DN appends nothing\n"
      "  --profile NAME    transform profile NAME.ini beside this program\n"
      "  --profile FILE    a value holding \"/\" or ending in \".ini\" is the profile file itself;\n"
      "                    without --profile no renaming or dropping rules apply\n"
      "  --seed N          start value (0 to 18446744073709551615) of the numbers that make\n"
      "                    duplicate DNs unique, for a reproducible result (default: the clock)\n"
      "  --output FILE     write the result to FILE (default: standard output); a regular or new\n"
      "                    file is replaced only once the whole result is written, so a failed\n"
      "                    run leaves an existing file as it was; a device or pipe is written\n"
      "                    directly\n" +
      std::string(kSchemaOptionsHelp) +
      "  -q, --quiet       leave out the summary line at the end (the messages about records\n"
      "                    and the exit status stay as they are)\n"
      "  -h, --help        show this text and exit\n"
      "An option's value may also follow an \"=\" (--seed=7); \"--\" ends the options.\n"
      "\n"
      "INPUT is the LDIF file to repair; standard input when absent or \"-\".\n"
      "\n"
      "Input is read as bytes, without character-set conversion. A line ends at CR LF, LF or CR;\n"
      "a NUL byte ends the text (the rest is ignored); every TAB becomes four spaces. Every\n"
      "output line, the last included, ends with CR LF, and every record is followed by one\n"
      "empty line. The book is repaired record by record, so memory grows with the number of\n"
      "distinct DNs, not with the size of the file.\n"
      "\n"
      "Problems found in a record (such as an undecodable Base64 value) are written to standard\n"
      "error as \"line N: MESSAGE\", N being the line on which the record starts; they do not\n"
      "stop the repair. When the repair has run, a last line on standard error sums it up:\n"
      "  Fixed 2,000 records (2,000 written): 37 DNs made unique, 4 records no directory\n"
      "  accepts (see log)\n"
      "records read, records written, records whose DN was taken and given a new one, and\n"
      "records no directory accepts (an empty DN, a list without members, a Base64 DN that does\n"
      "not decode; each reported above). --quiet leaves this line out.\n"
      "\n" +
      std::string(kExitStatusHelp);
  return text;
}

}  // namespace quorvane
