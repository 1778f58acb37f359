// DN and Name and Optional UID values, parsed by libldap as the directory parses them.
#include <ldap.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "schema/schema_internal.h"
#include "schema/syntax_rules.h"

namespace quorvane::syntax_rules {
namespace {

// slapd refuses longer DNs (SLAP_LDAPDN_MAXLEN).
constexpr std::size_t kMaxDnLength = 8192;

// slapd takes no value in BER ("cn=#04034A6F65") in a DN value.
bool HasBerValue(LDAPDN dn) {
  for (int r = 0; dn != nullptr && dn[r] != nullptr; ++r) {
    for (int a = 0; dn[r][a] != nullptr; ++a) {
      if ((dn[r][a]->la_flags & LDAP_AVA_BINARY) != 0) return true;
    }
  }
  return false;
}

enum class DnParse { kNotDn, kBerValue, kDn };

// Parses `dn` with libldap in `format`; for a DN, with `v3` given, writes its LDAPv3 string
// form there.
DnParse ParseDn(std::string_view dn, unsigned format, std::string* v3) {
  berval text = DNText(dn);
  LDAPDN parsed = nullptr;
  if (ldap_bv2dn(&text, &parsed, format) != LDAP_SUCCESS) return DnParse::kNotDn;
  DnParse result = HasBerValue(parsed) ? DnParse::kBerValue : DnParse::kDn;
  if (result == DnParse::kDn && v3 != nullptr) {
    char* written = nullptr;
    if (ldap_dn2str(parsed, &written, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) {
      result = DnParse::kNotDn;
    } else {
      *v3 = written != nullptr ? written : "";
    }
    ldap_memfree(written);
  }
  ldap_dnfree(parsed);
  return result;
}

// Where the optional UID of a Name and Optional UID value starts (its '#'), or the value's end.
// As in slapd, a '#' followed by anything but a bit string belongs to the DN.
std::size_t UidStart(std::string_view value) {
  const std::size_t hash = value.rfind('#');
  if (hash == std::string_view::npos || !IsBitString(value.substr(hash + 1))) return value.size();
  return hash;
}

std::string_view View(const berval& value) {
  return {value.bv_val, value.bv_len};
}

// Why an RDN's attribute-value pair fails slapd's check, or null.
const char* RefusedAva(const Schema& schema, const LDAPAVA& ava) {
  const AttributeType* type = schema.FindAttribute(View(ava.la_attr));
  if (type == nullptr) return "DN names an unknown type";
  const ValueCheck check = CheckStandardSyntax(type->syntaxNumber, View(ava.la_value));
  if (check.verdict != ValueVerdict::kFits) {
    return "DN value outside its syntax";
  }
  return nullptr;
}

}  // namespace

bool IsBitString(std::string_view text) {
  if (text.size() < 3 || text.front() != '\'' || !text.ends_with("'B")) return false;
  return text.substr(1, text.size() - 3).find_first_not_of("01") == std::string_view::npos;
}

// The directory reads DNs in the LDAPv2 forms too (';' between RDNs, quoted values); such a DN
// is written in its LDAPv3 form, which every reader takes and which names the same entry.
ValueCheck CheckDn(std::string_view value) {
  if (value.empty()) return Fits();  // the root DN
  std::string recoded;
  const bool wasRecoded = RecodeIfNotUtf8(value, recoded);
  const std::string_view text = wasRecoded ? recoded : value;
  if (text.size() > kMaxDnLength || text.find('\0') != std::string_view::npos) {
    return Dropped("not a DN");
  }
  DnParse parse = ParseDn(text, LDAP_DN_FORMAT_LDAPV3, nullptr);
  if (parse == DnParse::kDn) {
    return wasRecoded ? Repaired(std::move(recoded), "not UTF-8") : Fits();
  }
  if (parse == DnParse::kNotDn) {
    std::string v3;
    parse = ParseDn(text, LDAP_DN_FORMAT_LDAP, &v3);
    if (parse == DnParse::kDn) return Repaired(std::move(v3), "DN in LDAPv3 form");
  }
  return Dropped(parse == DnParse::kBerValue ? "DN value in BER" : "not a DN");
}

// RFC 4517 3.3.21: a DN, then optionally '#' and a bit string.
ValueCheck CheckNameAndOptionalUid(std::string_view value) {
  const std::size_t uid = UidStart(value);
  ValueCheck check = CheckDn(value.substr(0, uid));
  if (check.verdict == ValueVerdict::kRepaired) check.repaired += value.substr(uid);
  return check;
}

// slapd's LDAPDN_validate.
const char* RefusedDnTypes(const Schema& schema, std::string_view value, bool withUid) {
  const std::string_view dn = withUid ? value.substr(0, UidStart(value)) : value;
  berval text = DNText(dn);
  LDAPDN parsed = nullptr;
  if (ldap_bv2dn(&text, &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) return "not a DN";
  const char* refused = nullptr;
  for (int r = 0; parsed != nullptr && parsed[r] != nullptr && refused == nullptr; ++r) {
    for (int a = 0; parsed[r][a] != nullptr && refused == nullptr; ++a) {
      refused = RefusedAva(schema, *parsed[r][a]);
    }
  }
  ldap_dnfree(parsed);
  return refused;
}

}  // namespace quorvane::syntax_rules
