// DN and Name and Optional UID values, parsed by libldap as the directory parses them.
#include <ldap.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "schema/syntax_rules.h"

namespace quorvane::syntax_rules {
namespace {

// slapd refuses longer DNs (SLAP_LDAPDN_MAXLEN).
constexpr std::size_t kMaxDnLength = 8192;

// Whether libldap parses `dn` in `format`; on success, with `v3` given, writes the DN there in
// its LDAPv3 string form.
bool ParseDn(std::string_view dn, unsigned format, std::string* v3) {
  berval text{dn.size(), const_cast<char*>(dn.data())};
  LDAPDN parsed = nullptr;
  if (ldap_bv2dn(&text, &parsed, format) != LDAP_SUCCESS) return false;
  bool ok = true;
  if (v3 != nullptr) {
    char* written = nullptr;
    ok = ldap_dn2str(parsed, &written, LDAP_DN_FORMAT_LDAPV3) == LDAP_SUCCESS;
    if (ok) *v3 = written != nullptr ? written : "";
    ldap_memfree(written);
  }
  ldap_dnfree(parsed);
  return ok;
}

// RFC 4517 3.3.2: SQUOTE *binary-digit SQUOTE "B".
bool IsBitString(std::string_view text) {
  if (text.size() < 3 || text.front() != '\'' || !text.ends_with("'B")) return false;
  return text.substr(1, text.size() - 3).find_first_not_of("01") == std::string_view::npos;
}

}  // namespace

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
  if (ParseDn(text, LDAP_DN_FORMAT_LDAPV3, nullptr)) {
    return wasRecoded ? Repaired(std::move(recoded), "not UTF-8") : Fits();
  }
  std::string v3;
  if (ParseDn(text, LDAP_DN_FORMAT_LDAP, &v3)) return Repaired(std::move(v3), "DN in LDAPv3 form");
  return Dropped("not a DN");
}

// RFC 4517 3.3.21: a DN, then optionally '#' and a bit string; as in slapd, a '#' followed by
// anything else belongs to the DN.
ValueCheck CheckNameAndOptionalUid(std::string_view value) {
  const std::size_t hash = value.rfind('#');
  std::string_view uid;
  if (hash != std::string_view::npos && IsBitString(value.substr(hash + 1))) {
    uid = value.substr(hash);
    value = value.substr(0, hash);
  }
  ValueCheck check = CheckDn(value);
  if (check.verdict == ValueVerdict::kRepaired) check.repaired += uid;
  return check;
}

}  // namespace quorvane::syntax_rules
