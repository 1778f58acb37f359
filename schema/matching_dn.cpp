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

std::string_view View(const berval& value) {
  return {value.bv_val, value.bv_len};
}

// One attribute-value pair of an RDN as prepared in a DNRoom: the type from `type` to
// `value`, the value from there to `end`.
struct AvaSpan {
  std::size_t type;
  std::size_t value;
  std::size_t end;
};

// Where the pairs of the RDN being prepared wait to be sorted, kept from DN to DN. A DN value
// inside a DN is prepared further along the same room while its RDN waits; each RDN gives back
// what it took.
struct DNRoom {
  std::string text;
  std::vector<AvaSpan> spans;
};

// Appends `value` of `type` as prepared for an RDN. A value that is itself a DN takes a string
// of its own, since its RDNs are prepared in `room` too.
void AppendAvaValue(const Schema& schema, const AttributeType* type, std::string_view value,
                    DNRoom& room) {
  const EqualityRule rule = type != nullptr ? type->equalityRule : EqualityRule::kBytes;
  if (rule != EqualityRule::kDN && rule != EqualityRule::kUniqueMember) {
    AppendMatchKey(schema, type, value, room.text);
    return;
  }
  std::string inner;
  AppendMatchKey(schema, type, value, inner);
  room.text.append(inner);
}

// One RDN's attribute-value pairs, each type by its OID (an unknown type by its name in lower
// case) and each value prepared by its type's equality rule, in sorted order: the order of a
// multi-valued RDN does not matter to the directory.
void AppendRDNKey(const Schema& schema, LDAPRDN rdn, DNRoom& room, std::string& key) {
  const std::size_t textBase = room.text.size();
  const std::size_t spanBase = room.spans.size();
  for (LDAPAVA** pair = rdn; *pair != nullptr; ++pair) {
    const LDAPAVA& ava = **pair;
    const std::string_view typeName = View(ava.la_attr);
    AvaSpan span{room.text.size(), 0, 0};
    const AttributeType* type = schema.FindAttribute(typeName);
    if (type != nullptr) {
      room.text.append(type->oid);
    } else {
      for (const char c : typeName) room.text.push_back(FoldAscii(c));
    }
    span.value = room.text.size();
    if ((ava.la_flags & LDAP_AVA_BINARY) != 0) {
      room.text.append("#").append(View(ava.la_value));
    } else {
      AppendAvaValue(schema, type, View(ava.la_value), room);
    }
    span.end = room.text.size();
    room.spans.push_back(span);
  }
  const std::string_view text = room.text;
  const auto parts = [text](const AvaSpan& span) {
    return std::pair(text.substr(span.type, span.value - span.type),
                     text.substr(span.value, span.end - span.value));
  };
  const auto first = room.spans.begin() + static_cast<std::ptrdiff_t>(spanBase);
  std::sort(first, room.spans.end(),
            [&parts](const AvaSpan& a, const AvaSpan& b) { return parts(a) < parts(b); });
  for (auto span = first; span != room.spans.end(); ++span) {
    const auto [type, value] = parts(*span);
    key.append(type).push_back('=');
    AppendEscapedForDN(value, key);
    key.push_back('\0');
  }
  key.push_back('\0');
  room.text.resize(textBase);
  room.spans.resize(spanBase);
}

// Appends the key of a parsed DN. `key` is never the room's own text.
void AppendParsedDNKey(const Schema& schema, LDAPDN parsed, std::string& key) {
  thread_local DNRoom room;
  for (LDAPRDN* rdn = parsed; *rdn != nullptr; ++rdn) {
    AppendRDNKey(schema, *rdn, room, key);
  }
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
