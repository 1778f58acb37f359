// DN keys: distinguishedNameMatch and uniqueMemberMatch, as OpenLDAP prepares DNs: libldap
// reads the DN, each type is named by its OID, the parts of a multi-valued RDN are sorted and
// each value is prepared by its own type's equality rule.
#include <lber.h>
#include <ldap.h>

#include <algorithm>
#include <string>

#include "schema/matching.h"
#include "schema/schema_internal.h"

namespace quorvane {
namespace {

// The empty DN, which libldap gives as no list at all: a list without RDNs.
LDAPRDN kNoRDNs[1] = {nullptr};

// A prepared value inside a DN key: bytes 0 and 1 get an escape, so that byte 0 can end a
// pair and two of them an RDN.
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
  return value.find('\0') != std::string_view::npos || value.find('\1') != std::string_view::npos;
}

std::string_view View(const berval& value) {
  return {value.bv_val, value.bv_len};
}

// Appends one pair of an RDN in its final form, "type=value" and a 0 byte: the type by its OID
// (an unknown type by its name in lower case), the value prepared by the type's equality rule
// (a DN value inside a DN is prepared further along `key`), then escaped.
void AppendPair(const Schema& schema, const LDAPAVA& ava, std::string& key) {
  const std::string_view typeName = View(ava.la_attr);
  const AttributeType* type = schema.FindAttribute(typeName);
  if (type != nullptr) {
    key.append(type->oid);
  } else {
    for (const char c : typeName) key.push_back(FoldAscii(c));
  }
  key.push_back('=');
  const std::size_t value = key.size();
  if ((ava.la_flags & LDAP_AVA_BINARY) != 0) {
    key.append("#").append(View(ava.la_value));
  } else {
    AppendMatchKey(schema, type, View(ava.la_value), key);
  }
  if (NeedsDNEscape(std::string_view(key).substr(value))) {
    const std::string prepared = key.substr(value);
    key.resize(value);
    AppendEscapedForDN(prepared, key);
  }
  key.push_back('\0');
}

// One RDN's pairs in sorted order (the order of a multi-valued RDN does not matter to the
// directory), and a 0 byte after them. Each pair is sorted in as it comes: it moves before the
// first pair appended earlier that sorts after it. A pair holds no 0 byte but the one ending
// it, so that byte finds the pairs, and comparing pairs with it compares them without it.
void AppendRDNKey(const Schema& schema, LDAPRDN rdn, std::string& key) {
  const std::size_t base = key.size();
  for (LDAPRDN ava = rdn; *ava != nullptr; ++ava) {
    const std::size_t start = key.size();
    AppendPair(schema, **ava, key);
    const std::string_view text = key;
    const std::string_view pair = text.substr(start);
    std::size_t at = base;
    while (at < start) {
      const std::size_t end = text.find('\0', at) + 1;
      if (pair < text.substr(at, end - at)) break;
      at = end;
    }
    if (at == start) continue;
    key.insert(at, key, start, pair.size());
    key.resize(key.size() - pair.size());
  }
  key.push_back('\0');
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
