// The steps every repair run takes with a record: first pass, uniqueness, output.
#include "engine/record_stage.h"

#include <charconv>

#include "engine/dn_escape.h"

namespace quorvane::record_stage {
namespace {

// Candidates keep the key's form: the attempt number and a number from 0 to 99 go in front of
// the first "+mail=", or at the end. A key that is only a mail address gains a cn component
// instead, so that the address itself stays intact.
void MakeCandidate(std::string_view key, int attempt, int number, std::string& out) {
  char buffer[32];
  char* end = std::to_chars(buffer, buffer + 16, attempt).ptr;
  end = std::to_chars(end, buffer + sizeof buffer, number).ptr;
  const std::string_view digits(buffer, static_cast<std::size_t>(end - buffer));
  out.clear();
  const std::size_t mail = key.find("+mail=");
  if (mail != std::string_view::npos) {
    out.append(key.substr(0, mail)).append(digits).append(key.substr(mail));
    return;
  }
  constexpr std::string_view kPrefix = "dn: ";
  const std::string_view value = key.substr(kPrefix.size());
  const std::string_view rdnValue = FirstRDNValue(value);
  const bool onlyRDN = rdnValue.data() + rdnValue.size() == value.data() + value.size();
  if (StartsWithNoCase(value, "mail=") && onlyRDN) {
    const std::string_view address = value.substr(5);
    out.append(kPrefix).append("cn=").append(address).append(digits).append("+").append(value);
    return;
  }
  out.append(key).append(digits);
}

// Numbers are drawn only for a key that is taken, and the scan goes on until a candidate is
// free; each attempt changes the key's length or digits, so it ends. Adds the candidate it
// settles on.
void MakeUnique(std::string_view key, UsedDNs& usedDNs, RandomSource& random,
                std::string& candidate) {
  int attempt = 0;
  do {
    MakeCandidate(key, attempt, random.Next(), candidate);
    ++attempt;
  } while (!usedDNs.AddIfAbsent(candidate));
}

std::size_t ValueSplit(std::string_view line) {
  const std::size_t colon = line.find(':');
  return colon == std::string_view::npos ? line.size() : colon;
}

bool IsBase64Value(std::string_view line, std::size_t colon) {
  return colon + 1 < line.size() && line[colon + 1] == ':';
}

}  // namespace

std::string WithoutLineBreaks(std::string_view baseDN) {
  std::string result;
  for (char c : baseDN) {
    if (c == '\r' || c == '\n' || c == '\0') {
      result.append(c == '\r' ? "\\0D" : c == '\n' ? "\\0A" : "\\00");
    } else {
      result.push_back(c);
    }
  }
  return result;
}

RunSettings MakeRunSettings(std::string_view baseDN, const TransformMap& map, const Log* log) {
  return {WithoutLineBreaks(baseDN), map.empty() ? nullptr : &map,
          log != nullptr && log->WantsProgress()};
}

void SignLines(const RecordLines& lines, std::size_t from, std::vector<std::uint64_t>& signatures) {
  signatures.resize(lines.size());
  for (std::size_t i = from; i < lines.size(); ++i) signatures[i] = LineSignature(lines[i]);
}

void FirstPass(PendingRecord& record, const RunSettings& settings, bool log, bool sign) {
  record.messages.Clear();
  record.messages.SetWantsProgress(settings.wantsProgress);
  Log* held = log ? &record.messages : nullptr;
  const RecordContext context{settings.baseDN, settings.map,     held,
                              record.line,     record.progress, &record.notes};
  record.dnKey.clear();  // a record without a usable DN takes no part in uniqueness
  record.facts = FixRecord(record.lines, record.isFirst, record.dnKey, {}, context);
  if (!record.dnKey.empty()) record.dnHash = FoldedHash(record.dnKey);
  if (sign) SignLines(record.lines, 0, record.signatures);
}

void ReplayFirstMessages(const PendingRecord& record, Log& log, std::size_t lineOffset) {
  record.messages.ReplayTo(log, lineOffset);
  const std::size_t line = record.line + lineOffset;
  if (record.facts.emptyDN) {
    log.Write("002: record has an empty DN; no directory accepts it", kLogError, line);
  }
  if (record.facts.isGroup && !record.facts.hasMember) {
    log.Write("003: mailing list has no member; no directory accepts it", kLogError, line);
  }
}

bool ClaimKey(PendingRecord& record, UsedDNs& usedDNs, RandomSource& random,
              std::string& candidate) {
  return !record.dnKey.empty() &&
         ClaimKey(record.dnKey, record.dnHash, usedDNs, random, candidate);
}

bool ClaimKey(std::string_view key, std::uint32_t hash, UsedDNs& usedDNs, RandomSource& random,
              std::string& candidate) {
  if (usedDNs.AddIfAbsent(key, hash)) return false;
  MakeUnique(key, usedDNs, random, candidate);
  return true;
}

void MakeRecordUnique(PendingRecord& record, const RunSettings& settings, Log* log,
                      std::size_t lineOffset, std::string_view candidate) {
  const RecordContext context{settings.baseDN,          settings.map,    log,
                              record.line + lineOffset, record.progress, &record.notes};
  const std::size_t before = record.lines.size();
  FixRecord(record.lines, record.isFirst, record.dnKey, candidate, context);
  if (record.progress == ProgressLines::kEvery) {
    SignLines(record.lines, 0, record.signatures);  // that second pass read every line
  } else {
    SignLines(record.lines, before, record.signatures);
    for (const std::size_t i : record.notes.nameLines) {
      record.signatures[i] = LineSignature(record.lines[i]);
    }
  }
}

bool SettleRecord(PendingRecord& record, const RunSettings& settings, UsedDNs& usedDNs,
                  RandomSource& random, Log* log, std::size_t lineOffset,
                  std::string& candidate) {
  if (log != nullptr) ReplayFirstMessages(record, *log, lineOffset);
  if (!ClaimKey(record, usedDNs, random, candidate)) return false;
  MakeRecordUnique(record, settings, log, lineOffset, candidate);
  return true;
}

bool SameValue::operator()(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  const std::size_t colon = ValueSplit(a);
  if (ValueSplit(b) != colon || !EqualsNoCase(a.substr(0, colon), b.substr(0, colon))) {
    return false;
  }
  if (IsBase64Value(a, colon) != IsBase64Value(b, colon)) return false;
  return IsBase64Value(a, colon) ? a.substr(colon) == b.substr(colon)
                                 : EqualsNoCase(a.substr(colon), b.substr(colon));
}

std::size_t ValueHash::operator()(std::string_view line) const {
  const std::size_t colon = ValueSplit(line);
  const bool exactValue = IsBase64Value(line, colon);
  std::size_t hash = 1469598103934665603ull;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = (i < colon || !exactValue) ? LowerAscii(line[i]) : line[i];
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  return hash;
}

}  // namespace quorvane::record_stage
