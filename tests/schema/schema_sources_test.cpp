// Tests where a schema comes from: the built-in stock schema, files added in order, servers.
#include "schema/schema_sources.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "schema/builtin_schema.h"
#include "schema/server_schema.h"

namespace quorvane {
namespace {

// A schema file that builds on the standard schemas, as an address book's own does.
constexpr char kNeedsBuiltin[] =
    "attributetype ( 1.3.6.1.4.1.99999.1.1 NAME 'qvNickname' EQUALITY caseIgnoreMatch\n"
    "  SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )\n"
    "objectclass ( 1.3.6.1.4.1.99999.2.1 NAME 'qvPerson' SUP person STRUCTURAL\n"
    "  MUST cn MAY ( qvNickname $ mail ) )\n";
// One that holds everything it names.
constexpr char kSelfContained[] =
    "attributetype ( 1.3.6.1.4.1.99999.1.2 NAME 'qvTag' EQUALITY caseIgnoreMatch\n"
    "  SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )\n"
    "objectclass ( 1.3.6.1.4.1.99999.2.2 NAME 'qvTagged' AUXILIARY MAY qvTag )\n";
// One that names more standard definitions than a message lists.
constexpr char kNeedsMany[] =
    "objectclass ( 1.3.6.1.4.1.99999.2.3 NAME 'qvCard' SUP top AUXILIARY\n"
    "  MAY ( cn $ sn $ mail $ givenName $ telephoneNumber $ mobile $ street $ l ) )\n";

class SchemaFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "qschema-XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::string dir_;
};

TEST(BuiltinSchema, LoadsWithoutProblemsAndHoldsTheStockDefinitions) {
  Schema schema;
  std::vector<SchemaProblem> problems;
  AddBuiltinDefinitions(schema, problems);
  const std::vector<std::string> unresolved = schema.Resolve(problems);
  EXPECT_TRUE(problems.empty()) << problems.front().line << ": " << problems.front().message;
  EXPECT_TRUE(unresolved.empty());

  // It is loaded at the start of every run: the fastest of a few loads, so that a busy machine
  // does not fail the test (a load takes about 1 ms; sanitizers slow it tenfold).
  auto fastest = std::chrono::steady_clock::duration::max();
  for (int i = 0; i < 5; ++i) {
    const auto start = std::chrono::steady_clock::now();
    Schema again;
    AddBuiltinDefinitions(again, problems);
    again.Resolve(problems);
    fastest = std::min(fastest, std::chrono::steady_clock::now() - start);
  }
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(fastest, std::chrono::milliseconds(50));
#endif

  const Schema& builtin = BuiltinSchema();
  EXPECT_EQ(&builtin, &BuiltinSchema());
  struct Class {
    const char* name;
    ClassKind kind;
  };
  for (const Class& c :
       {Class{"inetOrgPerson", ClassKind::kStructural},  // inetorgperson
        Class{"posixAccount", ClassKind::kAuxiliary},    // nis
        Class{"pilotPerson", ClassKind::kStructural},    // cosine
        Class{"groupOfNames", ClassKind::kStructural},   // core
        Class{"top", ClassKind::kAbstract}, Class{"subschema", ClassKind::kAuxiliary}}) {
    const ObjectClass* kind = builtin.FindClass(c.name);
    ASSERT_NE(kind, nullptr) << c.name;
    EXPECT_EQ(kind->kind, c.kind) << c.name;
  }
  struct Type {
    const char* name;
    const char* canonical;
    bool operational;
  };
  for (const Type& t :
       {Type{"cn", "cn", false}, Type{"commonName", "cn", false},
        Type{"rfc822Mailbox", "mail", false}, Type{"uidNumber", "uidNumber", false},
        Type{"createTimestamp", "createTimestamp", true}, Type{"entryUUID", "entryUUID", true},
        Type{"objectClass", "objectClass", false},
        Type{"dITStructureRules", "dITStructureRules", true}}) {
    const AttributeType* type = builtin.FindAttribute(t.name);
    ASSERT_NE(type, nullptr) << t.name;
    EXPECT_EQ(type->Name(), t.canonical);
    EXPECT_EQ(type->operational, t.operational) << t.name;
  }
  EXPECT_TRUE(builtin.FindAttribute("createTimestamp")->noUserModification);
  EXPECT_EQ(builtin.FindAttribute("cn")->equality, "caseIgnoreMatch");  // inherited from name
  EXPECT_EQ(builtin.FindClass("mozillaAbPersonAlpha"), nullptr);
}

TEST(LoadSchema, NoSourceIsTheBuiltinSchema) {
  const SchemaLoad load = LoadSchema({}, ServerAccess());
  ASSERT_TRUE(load.ok()) << load.error;
  EXPECT_TRUE(load.problems.empty());
  EXPECT_EQ(load.schema.Attributes().size(), BuiltinSchema().Attributes().size());
  EXPECT_EQ(load.schema.Classes().size(), BuiltinSchema().Classes().size());
}

TEST_F(SchemaFiles, SourcesAddToThoseBeforeThemInOrder) {
  const std::string needs = Write("needs.schema", kNeedsBuiltin);
  const std::string alone = Write("alone.schema", kSelfContained);
  struct Case {
    std::vector<std::string> sources;
    const char* defined;
    const char* undefined;  // empty: none
  };
  const Case cases[] = {
      {{"builtin", needs}, "qvPerson", ""},
      {{"builtin", needs, alone}, "qvTagged", ""},
      {{alone}, "qvTagged", "cn"},  // a file that needs nothing else stands alone
      {{alone, "builtin"}, "inetOrgPerson", ""},
  };
  for (const Case& c : cases) {
    const SchemaLoad load = LoadSchema(c.sources, ServerAccess());
    ASSERT_TRUE(load.ok()) << c.sources.size() << ": " << load.error;
    EXPECT_TRUE(load.problems.empty()) << load.problems.front().message;
    EXPECT_NE(load.schema.FindClass(c.defined), nullptr) << c.defined;
    if (*c.undefined != '\0') {
      EXPECT_EQ(load.schema.FindAttribute(c.undefined), nullptr);
    }
  }
  const SchemaLoad both = LoadSchema({"builtin", needs}, ServerAccess());
  const ObjectClass* person = both.schema.FindClass("qvPerson");
  EXPECT_TRUE(Schema::IsSubclassOf(*person, *both.schema.FindClass("person")));
  EXPECT_TRUE(Schema::Allows(*person, *both.schema.FindAttribute("qvNickname")));
  EXPECT_TRUE(Schema::Requires(*person, *both.schema.FindAttribute("sn")));  // from person
}

TEST_F(SchemaFiles, FileNeedingTheBuiltinSchemaIsRefusedWithoutItBefore) {
  const std::string needs = Write("needs.schema", kNeedsBuiltin);
  const std::string many = Write("many.schema", kNeedsMany);
  const std::string tail = ": add --schema builtin before it";
  struct Case {
    std::vector<std::string> sources;
    std::string error;
  };
  const Case cases[] = {
      {{needs}, needs + " needs definitions it does not hold (person, cn, mail)" + tail},
      {{needs, "builtin"}, needs + " needs definitions it does not hold (person, cn, mail)" + tail},
      {{many},
       many + " needs definitions it does not hold (top, cn, sn, mail, givenName, " +
           "telephoneNumber, …)" + tail},
  };
  for (const Case& c : cases) {
    const SchemaLoad load = LoadSchema(c.sources, ServerAccess());
    EXPECT_FALSE(load.ok());
    EXPECT_EQ(load.error, c.error);
  }
}

TEST_F(SchemaFiles, MissingFileIsAnErrorNamingIt) {
  const std::string missing = dir_ + "/missing.schema";
  const SchemaLoad load = LoadSchema({"builtin", missing}, ServerAccess());
  EXPECT_FALSE(load.ok());
  EXPECT_NE(load.error.find(missing), std::string::npos) << load.error;
  EXPECT_NE(load.error.find("No such file or directory"), std::string::npos) << load.error;
}

// A port that accepts connections (the kernel completes them) but never answers.
class SilentServer {
 public:
  SilentServer() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(fd_, 4);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { ::close(fd_); }
  std::string Uri() const { return "ldap://127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_;
  int port_ = 0;
};

TEST(ServerSchema, FailuresGiveOneMessageNamingTheServerAndNeverThePassword) {
  const SilentServer silent;
  ServerAccess bound;
  bound.bindDN = "cn=admin,dc=example,dc=com";
  bound.password = "pw-never-shown";
  bound.timeoutSeconds = 1;
  ServerAccess startTLS;
  startTLS.startTLS = true;
  ServerAccess quickTLS;
  quickTLS.startTLS = true;
  quickTLS.timeoutSeconds = 1;
  ServerAccess noPassword;
  noPassword.bindDN = "cn=admin,dc=example,dc=com";
  struct Case {
    std::string uri;
    ServerAccess access;
    std::string reason;
  };
  const Case cases[] = {
      {"ldap://127.0.0.1:1", ServerAccess(), "Can't contact LDAP server"},
      {"ldap://127.0.0.1:1", bound, "Can't contact LDAP server"},
      {"ldap://127.0.0.1:1", startTLS, "StartTLS failed: Can't contact LDAP server"},
      {silent.Uri(), bound, "no answer within 1 second"},
      // libldap gives a TLS handshake no time limit of its own.
      {"ldaps" + silent.Uri().substr(4), bound, "no answer within 1 second"},
      {silent.Uri(), quickTLS, "StartTLS failed: no answer within 1 second"},
      {"ldaps://127.0.0.1:1", startTLS, "StartTLS is for ldap://; ldaps:// is encrypted already"},
      // A port that takes no connection says so, without a word about certificates.
      {"ldaps://127.0.0.1:1", ServerAccess(), "Can't contact LDAP server"},
      {"ldap://127.0.0.1:1", noPassword, "the bind DN has no password"},
      {"ldap://[::1", ServerAccess(), "not a usable address"},
  };
  for (const Case& c : cases) {
    ServerDefinitions definitions;
    definitions.objectClasses.push_back("left from before");
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReadServerSchema(c.uri, c.access, definitions, error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.uri;
    EXPECT_EQ(error.rfind("cannot read the schema of " + c.uri + ": " + c.reason, 0), 0u) << error;
    EXPECT_EQ(error.find("pw-never-shown"), std::string::npos) << error;
    // No case reaches a TLS server, so none may blame its certificate.
    EXPECT_EQ(error.find("certificate"), std::string::npos) << error;
    EXPECT_TRUE(definitions.objectClasses.empty());
  }
  const SchemaLoad load = LoadSchema({"builtin", "ldap://127.0.0.1:1"}, ServerAccess());
  EXPECT_EQ(load.error.rfind("cannot read the schema of ldap://127.0.0.1:1: ", 0), 0u);
}

TEST(ServerSchema, AddressesAreToldFromFilesByTheirScheme) {
  for (const char* server : {"ldap://host", "LDAP://host:389", "ldaps://host/", "Ldaps://h"}) {
    EXPECT_TRUE(IsServerAddress(server)) << server;
  }
  for (const char* file : {"ldap.schema", "ldapi://%2Fsocket", "./ldap://x", "builtin", ""}) {
    EXPECT_FALSE(IsServerAddress(file)) << file;
  }
}

}  // namespace
}  // namespace quorvane
