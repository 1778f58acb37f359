// DN keys: distinguishedNameMatch and uniqueMemberMatch, as OpenLDAP prepares DNs: libldap
// reads the DN, each type is named by its OID, the parts of a multi-valued RDN are sorted and
// each value is prepared by its own type's equality rule.
#include <lber.h>
#include <ldap.h>

#include <algorithm>
#include <string>
#include <vector>

#include "schema/matching.h"
#include "schema/schema_internal.h"

namespace quorvane {
namespace {

// The empty DN, which libldap gives as no list at all: a list without RDNs.
LDAPRDN kNoRDNs[1] = {nullptr};

// A prepared value inside a DN key: bytes 0 and 1 get an escape, so that byte 0 can end a
// value and two of them an RDN. The escapes keep the order of values, so values sort alike
// before and after.
void AppendEscapedForDN(std::string_view value, std::string& key) {
  for (;;) {
    const auto special =
        std::ranges::find_if(value, [](char c) { return static_cast<unsigned char>(c) < 2; });
    const auto plain = static_cast<std::size_t>(special - value.begin());
    key.append(value.substr(0, plain));
    if (plain == value.size()) return;
    key.push_back('\x01');
    key.push_back(char(value[plain] + 2));
    value.remove_prefix(plain + 1);
  }
}

// Whether AppendEscapedForDN would change `value`.
bool NeedsDNEscape(std::string_view value) {
  return std::ranges::any_of(value, [](char c) { return static_cast<unsigned char>(c) < 2; });
}

std::string_view View(const berval& value) {
  return {value.bv_val, value.bv_len};
}

// One attribute-value pair of an RDN as prepared at the end of a key: the type from `type`,
// then '=', the value from `value` to `end`.
struct AvaSpan {
  std::size_t type;
  std::size_t value;
  std::size_t end;
};

// Appends one pair as "type=value": the type by its OID (an unknown type by its name in lower
// case), the value prepared by the type's equality rule but not yet escaped (a DN value inside
// a DN is prepared further along `key`).
AvaSpan AppendPreparedPair(const Schema& schema, const LDAPAVA& ava, std::string& key) {
  const std::string_view typeName = View(ava.la_attr);
  AvaSpan span{key.size(), 0, 0};
  const AttributeType* type = schema.FindAttribute(typeName);
  if (type != nullptr) {
    key.append(type->oid);
  } else {
    for (const char c : typeName) key.push_back(FoldAscii(c));
  }
  key.push_back('=');
  span.value = key.size();
  if ((ava.la_flags & LDAP_AVA_BINARY) != 0) {
    key.append("#").append(View(ava.la_value));
  } else {
    AppendMatchKey(schema, type, View(ava.la_value), key);
  }
  span.end = key.size();
  return span;
}

// One RDN's pairs, each ended by a 0 byte, in sorted order (the order of a multi-valued RDN
// does not matter to the directory), and a 0 byte after them. Most RDNs hold one pair, which is
// final as soon as its value is escaped. Several are prepared at the end of `key`, sorted
// there and written after themselves in their final form; then the prepared pairs make way.
void AppendRDNKey(const Schema& schema, LDAPRDN rdn, std::string& key) {
  const auto escapeAt = [&key](std::size_t from) {
    const std::string value = key.substr(from);
    key.resize(from);
    AppendEscapedForDN(value, key);
  };
  if (rdn[0] != nullptr && rdn[1] == nullptr) {
    const AvaSpan span = AppendPreparedPair(schema, *rdn[0], key);
    if (NeedsDNEscape(std::string_view(key).substr(span.value))) escapeAt(span.value);
    key.append(2, '\0');
    return;
  }
  const std::size_t base = key.size();
  std::size_t count = 0;
  while (rdn[count] != nullptr) ++count;
  std::vector<AvaSpan> spans;
  spans.reserve(count);
  for (std::size_t i = 0; i < count; ++i) spans.push_back(AppendPreparedPair(schema, *rdn[i], key));
  const std::size_t prepared = key.size();
  // Room for the final form, so that views of the prepared pairs stay valid while it is
  // written: escaping at most doubles a value, and each pair gains a 0 byte.
  key.reserve(prepared + 2 * (prepared - base) + spans.size());
  const std::string_view text = key;
  const auto parts = [text](const AvaSpan& span) {
    return std::pair(text.substr(span.type, span.value - 1 - span.type),
                     text.substr(span.value, span.end - span.value));
  };
  std::sort(spans.begin(), spans.end(),
            [&parts](const AvaSpan& a, const AvaSpan& b) { return parts(a) < parts(b); });
  for (const AvaSpan& span : spans) {
    const auto [type, value] = parts(span);
    key.append(type).push_back('=');
    AppendEscapedForDN(value, key);
    key.push_back('\0');
  }
  key.push_back('\0');
  key.erase(base, prepared - base);
}

// Appends the key of a parsed DN.
void AppendParsedDNKey(const Schema& schema, LDAPDN parsed, std::string& key) {
  for (LDAPRDN* rdn = parsed; *rdn != nullptr; ++rdn) AppendRDNKey(schema, *rdn, key);
}

}  // namespace

// Parses `dn` as the directory does and appends its key; false, with nothing appended, when it
// is no DN.
bool AppendDNKey(const Schema& schema, std::string_view dn, std::string& key) {
  const ParsedDN parsed = ParseDN(dn);
  if (parsed == nullptr) return false;
  AppendParsedDNKey(schema, parsed.get(), key);
  return true;
}

// uniqueMemberMatch: a DN, optionally followed by '#' and a bit string ("'0101'B") that
// tells two entries of one name apart.
void AppendUniqueMember(const Schema& schema, std::string_view value, std::string& key) {
  std::string_view dn = value;
  std::string_view uid;
  const std::size_t hash = value.rfind("#'");
  if (hash != std::string_view::npos && value.ends_with("'B")) {
    dn = value.substr(0, hash);
    uid = value.substr(hash);
  }
  const std::size_t start = key.size();
  if (!AppendDNKey(schema, dn, key)) {
    key.resize(start);
    key.push_back('\xFF');
    key.append(value);
    return;
  }
  key.append(uid);
}

void ParsedDNFree::operator()(ldap_ava*** dn) const {
  if (dn != kNoRDNs) ldap_dnfree(dn);
}

ParsedDN ParseDN(std::string_view dn) {
  berval text = DNText(dn);
  LDAPDN parsed = nullptr;
  if (ldap_bv2dn(&text, &parsed, LDAP_DN_FORMAT_LDAP) != LDAP_SUCCESS) return nullptr;
  return ParsedDN(parsed != nullptr ? parsed : kNoRDNs);
}

void DNMatchKey(const Schema& schema, const ParsedDN& dn, std::string& key) {
  key.clear();
  AppendParsedDNKey(schema, dn.get(), key);
}

bool DNMatchKey(const Schema& schema, std::string_view dn, std::string& key) {
  key.clear();
  if (AppendDNKey(schema, dn, key)) return true;
  key.assign(dn);
  return false;
}

}  // namespace quorvane
