// quorvane-fix: repairs an address-book LDIF export without the window, for scripts and big books.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/fix_stream.h"
#include "cli/options.h"
#include "engine/error.h"
#include "engine/random_source.h"
#include "engine/repair_counts.h"
#include "engine/transform_map.h"
#include "engine/used_dns.h"
#include "platform/directories.h"
#include "platform/file_io.h"
#include "profiles/profiles.h"
#include "schema/schema_sources.h"

namespace quorvane {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitInternalFailure = 1;
constexpr int kExitUsageOrFile = 2;

// Unlike the window, a profile that cannot be read stops the run: a script must not quietly
// repair a book without the rules it asked for.
void LoadRequiredProfile(const std::string& value, TransformMap& map, Log* log) {
  const std::string fileName = ProfileFileName(value, AppDir());
  ReadWholeFile(fileName);  // throws with the file's name and the system's reason
  LoadProfile(fileName, map, log);
}

// The password for --bind-dn: the first line of its file, without the line end. An empty one
// would make an unauthenticated bind, which a server may take as anonymous.
std::string ReadPassword(const std::string& fileName) {
  const std::string bytes = ReadWholeFile(fileName);  // throws with the file's name and reason
  std::string password = bytes.substr(0, bytes.find_first_of("\r\n"));
  if (password.empty()) {
    throw Error("The password file \"" + fileName + "\" has no password on its first line");
  }
  return password;
}

// Definitions left out of a schema are warnings: the run goes on with the rest.
void PrintSchemaProblems(const std::vector<SchemaProblem>& problems) {
  for (const SchemaProblem& problem : problems) {
    std::string line = "schema " + problem.source;
    if (problem.line > 0) line += ":" + std::to_string(problem.line);
    line += ": " + problem.message + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
}

// The schema the run checks against: none with --no-schema, the built-in one by default. A
// schema that cannot be loaded stops the run before anything is written.
const Schema* LoadRequiredSchema(const FixOptions& options, SchemaLoad& load) {
  if (options.noSchema) return nullptr;
  if (options.schemaSources.empty()) return &BuiltinSchema();
  ServerAccess access;
  if (options.bindDN) {
    access.bindDN = *options.bindDN;
    access.password = ReadPassword(options.passwordFile.value_or(""));
  }
  access.startTLS = options.startTLS;
  load = LoadSchema(options.schemaSources, access);
  if (!load.ok()) throw Error(load.error);
  PrintSchemaProblems(load.problems);
  return &load.schema;
}

RepairCounts RunFix(const FixOptions& options) {
  StandardErrorLog log;
  TransformMap map;
  if (options.profile) LoadRequiredProfile(*options.profile, map, &log);
  SchemaLoad load;
  const SchemaStep schema{LoadRequiredSchema(options, load), options.verbose};
  FileReader input(options.input);
  SeededRandom random(options.startValue.value_or(SeededRandom::ClockSeed()));
  // A large book's DN keys are hundreds of thousands of small blocks. Freeing them one by one
  // would take a tenth of the run, and the command ends right after it: the system takes
  // them back with the rest of its memory at once.
  static UsedDNs* const usedDNs = new UsedDNs;
  RepairCounts counts;
  const auto repairInto = [&](const ByteWriter& write) {
    counts = RepairStream(input, options.baseDN, map, *usedDNs, random, &log, schema, write);
  };
  if (options.output) {
    WriteFileSafely(*options.output, repairInto);
  } else {
    const ByteWriter write = WriteToStandardOutput;
    repairInto(write);
  }
  return counts;
}

void PrintError(const std::string& message) {
  std::fprintf(stderr, "quorvane-fix: %s\n", message.c_str());
}

}  // namespace
}  // namespace quorvane

int main(int argc, char** argv) {
  using namespace quorvane;
  try {
    const FixOptions options = ParseFixOptions(argc, argv);
    if (options.help) {
      WriteToStandardOutput(FixUsage());
      return kExitOk;
    }
    const RepairCounts counts = RunFix(options);
    // The summary goes last, once the result is complete (and, with --output, in place).
    if (!options.quiet) std::fprintf(stderr, "%s\n", SummaryLine(counts).c_str());
    return kExitOk;
  } catch (const UsageError& e) {
    PrintError(e.what());
    std::fprintf(stderr, "%s\n", FixUsageHint().c_str());
    return kExitUsageOrFile;
  } catch (const Error& e) {
    PrintError(e.what());
    return kExitUsageOrFile;
  } catch (const std::exception& e) {
    PrintError(std::string("internal error: ") + e.what());
    return kExitInternalFailure;
  }
}
