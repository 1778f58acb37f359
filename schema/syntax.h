// Whether a value fits its attribute's syntax, and the repair where its meaning is certain.
#pragma once

#include <string>
#include <string_view>

#include "schema/schema.h"

namespace quorvane {

enum class ValueVerdict {
  kFits,      // the value is written as it is
  kRepaired,  // `repaired` holds the value to write instead
  kDropped,   // no value of this syntax can be made of it; `reason` says why
};

struct ValueCheck {
  ValueVerdict verdict = ValueVerdict::kFits;
  std::string repaired;
  std::string_view reason;  // fixed text for the log: "not UTF-8", "not a telephone number", ...
};

// Checks `value` (raw bytes, Base64 already decoded) against the syntax `syntaxOid` (as
// AttributeType::syntax holds it) and repairs it where the meaning is certain. A syntax not
// checked here fits.
ValueCheck CheckValue(std::string_view syntaxOid, std::string_view value);
// The same with the directory's schema at hand, which a DN value (DN, Name and Optional UID)
// needs to be checked as slapd checks it: each RDN's type defined, each RDN's value one its
// type's syntax takes as it is. Such a value that fails is dropped.
ValueCheck CheckValue(const Schema& schema, std::string_view syntaxOid, std::string_view value);
// The same for a value of `type`, by the syntax the schema worked out for it once
// (AttributeType::syntaxNumber): nothing is looked up per value.
ValueCheck CheckValue(const Schema& schema, const AttributeType& type, std::string_view value);

// The N of the syntaxes RFC 4517 numbers 1.3.6.1.4.1.1466.115.121.1.N, or 0 for any other.
int StandardSyntaxNumber(std::string_view syntaxOid);

// Whether `bytes` is well-formed UTF-8.
bool IsUtf8(std::string_view bytes);
// `bytes` read as Windows-1252 (as the WHATWG encoding standard decodes it) and written as
// UTF-8.
std::string Windows1252ToUtf8(std::string_view bytes);

// Whether the syntax needs the ";binary" option (certificates and the like).
bool SyntaxNeedsBinary(std::string_view syntaxOid);

}  // namespace quorvane
