// The syntax checks held against the directory itself: a throwaway slapd (own configuration and
// database in a temporary directory, loopback only, never the system's service) takes every
// value they let through or write and refuses every value they drop.
#include <gtest/gtest.h>
#include <ldap.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "schema/schema_sources.h"
#include "schema/syntax.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSlapd = "/usr/sbin/slapd";
constexpr const char* kRootDn = "cn=admin,dc=example,dc=com";
constexpr const char* kRootPassword = "syntax-secret";

// Types of the stock schemas for most syntaxes; these three have none there.
constexpr const char* kOwnTypes[] = {
    "( 2.25.271828182.1 NAME 'qvBoolean' EQUALITY booleanMatch "
    "SYNTAX 1.3.6.1.4.1.1466.115.121.1.7 )",
    "( 2.25.271828182.2 NAME 'qvInteger' EQUALITY integerMatch "
    "SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 )",
    "( 2.25.271828182.3 NAME 'qvTime' EQUALITY generalizedTimeMatch "
    "ORDERING generalizedTimeOrderingMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.24 )",
};

void WriteConfig(const fs::path& dir) {
  fs::create_directories(dir / "db");
  std::ofstream conf(dir / "slapd.conf");
  for (const char* schema : {"core", "cosine", "inetorgperson"}) {
    conf << "include /etc/ldap/schema/" << schema << ".schema\n";
  }
  for (const char* type : kOwnTypes) conf << "attributetype " << type << "\n";
  conf << "pidfile " << (dir / "slapd.pid") << "\nargsfile " << (dir / "slapd.args") << "\n";
  if (fs::exists("/usr/lib/ldap/back_mdb.so")) {
    conf << "modulepath /usr/lib/ldap\nmoduleload back_mdb\n";
  }
  conf << "database mdb\nmaxsize 10485760\nsuffix \"dc=example,dc=com\"\n"
       << "rootdn \"" << kRootDn << "\"\nrootpw " << kRootPassword << "\ndirectory " << (dir / "db")
       << "\n";
}

// A bound connection to `uri`, or null while the server does not answer.
LDAP* Connect(const std::string& uri) {
  LDAP* ldap = nullptr;
  if (ldap_initialize(&ldap, uri.c_str()) != LDAP_SUCCESS) return nullptr;
  const int version = LDAP_VERSION3;
  timeval timeout{1, 0};
  ldap_set_option(ldap, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(ldap, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
  berval password{std::string_view(kRootPassword).size(), const_cast<char*>(kRootPassword)};
  if (ldap_sasl_bind_s(ldap, kRootDn, LDAP_SASL_SIMPLE, &password, nullptr, nullptr, nullptr) !=
      LDAP_SUCCESS) {
    ldap_unbind_ext_s(ldap, nullptr, nullptr);
    return nullptr;
  }
  return ldap;
}

class SlapdSyntax : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    installed_ = access(kSlapd, X_OK) == 0 && fs::exists("/etc/ldap/schema/core.schema");
    if (!installed_) return;
    char pattern[] = "/tmp/quorvane-syntax.XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    dir_ = pattern;
    WriteConfig(dir_);
    std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 20 && ldap_ == nullptr; ++attempt) {
      StartOn("ldap://127.0.0.1:" + std::to_string(20000 + random() % 40000) + "/");
    }
    if (ldap_ != nullptr)
      Add("dc=example,dc=com", {{"objectClass", {"domain"}}, {"dc", {"example"}}});
  }

  static void TearDownTestSuite() {
    if (ldap_ != nullptr) ldap_unbind_ext_s(ldap_, nullptr, nullptr);
    ldap_ = nullptr;
    Stop();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // Skipped without slapd; a slapd that is there and does not come up is a failure.
  void SetUp() override {
    if (!installed_) GTEST_SKIP() << "slapd is not installed (Debian package slapd)";
    if (ldap_ == nullptr) {
      std::ifstream log(dir_ / "slapd.log");
      FAIL() << "could not start slapd in " << dir_ << "; its log:\n" << log.rdbuf();
    }
  }

  // Starts slapd on `uri` and connects; leaves ldap_ null where it does not come up.
  static void StartOn(const std::string& uri) {
    const std::string conf = (dir_ / "slapd.conf").string();
    const std::string log = (dir_ / "slapd.log").string();
    pid_ = fork();
    if (pid_ == 0) {
      if (!freopen(log.c_str(), "a", stderr) || !freopen(log.c_str(), "a", stdout)) _exit(127);
      // -d 0 keeps slapd in the foreground, so the child is the server itself.
      execl(kSlapd, "slapd", "-d", "0", "-f", conf.c_str(), "-h", uri.c_str(), nullptr);
      _exit(127);
    }
    for (int waited = 0; waited < 100 && pid_ > 0; ++waited) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = 0;  // the port was taken after all
        return;
      }
      if ((ldap_ = Connect(uri)) != nullptr) return;
      usleep(100 * 1000);
    }
    Stop();
  }

  static void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int waited = 0; waited < 50 && waitpid(pid_, nullptr, WNOHANG) == 0; ++waited) {
      usleep(100 * 1000);
    }
    if (waitpid(pid_, nullptr, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = 0;
  }

  // Adds an entry of the given attributes and values; returns the LDAP result code.
  static int Add(const std::string& dn,
                 const std::vector<std::pair<std::string, std::vector<std::string>>>& entry) {
    std::vector<std::vector<berval>> values(entry.size());
    std::vector<std::vector<berval*>> lists(entry.size());
    std::vector<LDAPMod> mods(entry.size());
    std::vector<LDAPMod*> modList;
    for (std::size_t i = 0; i < entry.size(); ++i) {
      for (const std::string& value : entry[i].second) {
        values[i].push_back({value.size(), const_cast<char*>(value.data())});
      }
      for (berval& value : values[i]) lists[i].push_back(&value);
      lists[i].push_back(nullptr);
      mods[i].mod_op = LDAP_MOD_ADD | LDAP_MOD_BVALUES;
      mods[i].mod_type = const_cast<char*>(entry[i].first.c_str());
      mods[i].mod_bvalues = lists[i].data();
      modList.push_back(&mods[i]);
    }
    modList.push_back(nullptr);
    return ldap_add_ext_s(ldap_, dn.c_str(), modList.data(), nullptr, nullptr);
  }

  // Adds a fresh entry holding `value` as `attribute`; returns the LDAP result code.
  static int AddValue(const std::string& attribute, std::string_view value) {
    const std::string cn = "v" + std::to_string(++entries_);
    return Add("cn=" + cn + ",dc=example,dc=com", {{"objectClass", {"device", "extensibleObject"}},
                                                   {"cn", {cn}},
                                                   {attribute, {std::string(value)}}});
  }

  static inline bool installed_ = false;
  static inline fs::path dir_;
  static inline pid_t pid_ = 0;
  static inline LDAP* ldap_ = nullptr;
  static inline int entries_ = 0;
};

const std::string kSyntax = "1.3.6.1.4.1.1466.115.121.1.";

struct Row {
  const char* attribute;
  std::string syntax;
  std::vector<std::string_view> values;
};

TEST_F(SlapdSyntax, TakesWhatFitsOrIsRepairedAndRefusesWhatIsDropped) {
  const Row rows[] = {
      {"description",
       kSyntax + "15",
       {"Ann", " ", "J\xC3\xBCrgen", "", "J\xFCrgen", "\x81\x9D", std::string_view("a\0b", 3)}},
      {"telephoneNumber",
       kSyntax + "50",
       {"+49 30 1234-567", "<9876543210>", "\xEF\xBC\x90\xEF\xBC\x91",
        "030\xC2\xA0"
        "1",
        "030\xE2\x80\x93"
        "1",
        "\xE2\x80\xAA+49\xE2\x80\xAC",
        "030\x96"
        "1",
        "", "<>", "+49 #5", "J\xC3\xBCrgen", "12\xC2\xB2"}},
      {"facsimileTelephoneNumber",
       kSyntax + "22",
       {"+49 30", "+49 30$twoDimensional", "<+49>$b4Length", "+49$", "$x", "+49$$x", ""}},
      {"telexNumber", kSyntax + "52", {"123$DE$ans", "123$$ans", "<123>$DE$ans"}},
      {"serialNumber", kSyntax + "44", {"Sales (EMEA) 2/3", "a_b", "\xEF\xBC\xA1", ""}},
      {"c", kSyntax + "11", {"DE", "de", "\xEF\xBC\xA4\xEF\xBC\xA5", "D", "DEU", "\xC3\x9CK"}},
      {"x121Address", kSyntax + "36", {"0123 456", " ", "\xEF\xBC\x91", "12-34", ""}},
      {"mail",
       kSyntax + "26",
       {"ann@example.com",
        "ann@b\xC3\xBC"
        "cher.example",
        "ann@b\xFC"
        "cher.example",
        "j\xC3\xBCrgen@m\xC3\xBCller.de", "M\xC3\xBCller"}},
      {"otherMailbox", kSyntax + "39", {"x400$ann", "x400$j\xC3\xBCrgen"}},
      {"postalAddress",
       kSyntax + "41",
       {"1 Main St$Springfield", "a$$b", "Price \\24 5$x \\5C y", "C:\\temp$x", "end\\", "a\\\\24",
        "M\xFCller$Stra\xDF"
        "e",
        "K\xC3\xB6ln$M\xFCnchen"}},
      {"x500UniqueIdentifier", kSyntax + "6", {"'0101'B", "''B", "'012'B", "0101"}},
      {"preferredDeliveryMethod",
       kSyntax + "14",
       {"any", "TELEPHONE", "telex $ teletex$g3fax  $  videotex", "email", "telexx", "mhs $",
        "mhs physical"}},
      {"qvBoolean", kSyntax + "7", {"TRUE", "FALSE", "true", "yes", ""}},
      {"qvInteger", kSyntax + "27", {"0", "-17", "007", "-0", "", "-", "+5", "1.5"}},
      {"qvTime",
       kSyntax + "24",
       {"20070520000000Z", "2007052000Z", "20070520000000.123Z", "2007052000.5Z",
        "20070520000000-05", "20081231235960Z", "20000229120000Z", "99991231230000+0100",
        "200705200000z", "20070520000000", "20070520Z", "19000229120000Z", "20070229120000Z",
        "20070520000000.Z", "20070520000000+2400", "99991231230000-0100", "00000101003000+0100",
        "2007-05-20"}},
      {"seeAlso",
       kSyntax + "12",
       {"cn=Ann,dc=example,dc=com", "cn=Smith\\, John+uid=js,o=Acme", "cn=J\xFCrgen,o=Acme",
        "cn=Ann; o=Acme", "cn=\"Smith, John\",o=Acme", "Smith, John", "cn=Ann,", "=Ann",
        "cn=Ann,foo=Acme", "cn=Ann,c=Germany", "cn=,o=Acme", "cn=#04034A6F65,o=Acme"}},
      {"uniqueMember",
       kSyntax + "34",
       {"cn=Ann,o=Acme", "cn=Ann,o=Acme#'0101'B", "cn=Ann;o=Acme#'01'B", "cn=Ann,o=Acme#'012'B",
        "Ann#'01'B", "foo=Ann#'01'B"}},
  };
  for (const Row& row : rows) {
    for (std::string_view value : row.values) {
      SCOPED_TRACE(testing::Message() << row.attribute << ": \"" << value << "\"");
      const ValueCheck check = CheckValue(BuiltinSchema(), row.syntax, value);
      switch (check.verdict) {
        case ValueVerdict::kFits:
          EXPECT_EQ(AddValue(row.attribute, value), LDAP_SUCCESS);
          break;
        case ValueVerdict::kRepaired:
          EXPECT_EQ(AddValue(row.attribute, check.repaired), LDAP_SUCCESS) << check.repaired;
          break;
        case ValueVerdict::kDropped:
          EXPECT_EQ(AddValue(row.attribute, value), LDAP_INVALID_SYNTAX) << check.reason;
          break;
      }
    }
  }
}

}  // namespace
}  // namespace quorvane
