// When two lines of a record hold the same value to a directory.
#include "engine/value_match.h"

#include <algorithm>
#include <unordered_map>

#include "engine/base64.h"
#include "engine/error.h"
#include "engine/fix_record.h"
#include "engine/text.h"

namespace quorvane {
namespace {

enum class Matching { kExact, kIgnoreCase, kTelephone };

// Attributes of the standard schemas (core, cosine, inetorgperson) whose equality matching
// ignores case (caseIgnoreMatch, caseIgnoreIA5Match, caseIgnoreListMatch, the object class
// and DN matches), written in lower case.
constexpr std::string_view kIgnoreCase[] = {
    "objectclass", "cn", "commonname", "sn", "surname", "givenname", "gn", "initials",
    "displayname", "mail", "rfc822mailbox", "description", "o", "organizationname", "ou",
    "organizationalunitname", "title", "l", "localityname", "st", "stateorprovincename",
    "street", "streetaddress", "postalcode", "postofficebox", "postaladdress",
    "homepostaladdress", "physicaldeliveryofficename", "businesscategory", "departmentnumber",
    "employeenumber", "employeetype", "carlicense", "preferredlanguage", "uid", "userid", "dc",
    "domaincomponent", "c", "countryname", "co", "friendlycountryname", "member",
    "uniquemember", "manager", "secretary", "seealso", "owner", "roomnumber",
    "registeredaddress", "destinationindicator", "info", "host"};

// Attributes of telephone number syntax (telephoneNumberMatch).
constexpr std::string_view kTelephone[] = {
    "telephonenumber", "homephone", "hometelephonenumber", "mobile", "mobiletelephonenumber",
    "pager", "pagertelephonenumber", "facsimiletelephonenumber", "fax"};

// The matching of every attribute above; any other attribute matches exactly.
const std::unordered_map<std::string_view, Matching> kMatching = [] {
  std::unordered_map<std::string_view, Matching> matching;
  for (const std::string_view name : kIgnoreCase) matching.emplace(name, Matching::kIgnoreCase);
  for (const std::string_view name : kTelephone) matching.emplace(name, Matching::kTelephone);
  return matching;
}();

Matching MatchingOf(std::string_view lowerName) {
  const auto found = kMatching.find(lowerName);
  return found == kMatching.end() ? Matching::kExact : found->second;
}

}  // namespace

void ValueKey(std::string_view line, std::string& key) {
  const NameValue nv = SplitNameValue(line);
  key.assign(nv.Attribute());
  for (char& c : key) c = LowerAscii(c);
  const Matching matching = MatchingOf(key);
  key.push_back(':');
  std::string_view value = nv.value;
  std::string decoded;
  const bool encoded = !value.empty() && value.front() == ':' &&
                       value.data() == nv.name.data() + nv.name.size();
  if (encoded) {
    try {
      decoded = Base64ToStr(TrimView(value.substr(1)));
      value = decoded;
    } catch (const Error&) {
      key.push_back('\x01');  // undecodable: equal only to the same encoded text
      key.append(value);
      return;
    }
  }
  const std::size_t start = key.size();
  key.append(value);
  if (matching == Matching::kExact) return;
  for (auto c = key.begin() + static_cast<std::ptrdiff_t>(start); c != key.end(); ++c) {
    *c = LowerAscii(*c);
  }
  if (matching == Matching::kTelephone) {
    key.erase(std::remove_if(key.begin() + static_cast<std::ptrdiff_t>(start), key.end(),
                             [](char c) { return c == ' ' || c == '-'; }),
              key.end());
  }
}

}  // namespace quorvane
