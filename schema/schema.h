// What a directory accepts: its attribute types and object classes, as its schema defines them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvane {

// Something in a schema source that could not be taken: the source (a file name, "built-in",
// a server address), the line its definition starts on (0 where there is none) and why.
struct SchemaProblem {
  std::string source;
  std::size_t line = 0;
  std::string message;
};

// How a type's equality rule prepares a value before values are compared byte for byte (see
// MatchKey).
enum class EqualityRule : std::uint8_t {
  kBytes,         // octetStringMatch, and types without an equality rule we prepare
  kIgnoreCase,    // caseIgnoreMatch
  kExact,         // caseExactMatch
  kIgnoreList,    // caseIgnoreListMatch: each $-separated line as caseIgnoreMatch
  kExactList,     // caseExactListMatch
  kIgnoreIA5,     // caseIgnoreIA5Match
  kExactIA5,      // caseExactIA5Match
  kTelephone,     // telephoneNumberMatch
  kNumeric,       // numericStringMatch
  kOid,           // objectIdentifierMatch
  kDN,            // distinguishedNameMatch
  kUniqueMember,  // uniqueMemberMatch
  kInteger,       // integerMatch
  kTime,          // generalizedTimeMatch
};

struct AttributeType {
  std::size_t index = 0;  // its place in Schema::Attributes(), for tables by type
  std::string oid;
  std::vector<std::string> names;  // as defined; the first is the type's name
  const AttributeType* superior = nullptr;
  // Inherited through the superiors where the type does not give its own (RFC 4512 4.1.2).
  std::string syntax;    // the syntax OID, without a length ("1.3.6.1.4.1.1466.115.121.1.15")
  std::string equality;  // the equality rule's name as written ("caseIgnoreMatch"), or empty
  // `equality` and `syntax` as values are checked and compared by, worked out once whenever
  // the schema sets them, so that no value looks a name up.
  EqualityRule equalityRule = EqualityRule::kBytes;
  int syntaxNumber = 0;  // N of the standard syntax 1.3.6.1.4.1.1466.115.121.1.N; 0 for another
  bool singleValue = false;
  bool noUserModification = false;
  bool operational = false;  // a usage other than userApplications
  bool obsolete = false;

  // The first name, or the OID for a type without one.
  std::string_view Name() const { return names.empty() ? std::string_view(oid) : names.front(); }
};

enum class ClassKind { kAbstract, kStructural, kAuxiliary };

struct ObjectClass {
  std::string oid;
  std::vector<std::string> names;
  ClassKind kind = ClassKind::kStructural;
  std::vector<const ObjectClass*> superiors;  // direct superiors
  // What the class requires and allows, its superiors' included (each type once).
  std::vector<const AttributeType*> must;
  std::vector<const AttributeType*> may;
  bool obsolete = false;

  std::string_view Name() const { return names.empty() ? std::string_view(oid) : names.front(); }
};

// A set of definitions, added to source by source. Names and OIDs are looked up without regard
// to letter case. Pointers handed out stay valid for the schema's life.
class Schema {
 public:
  Schema();
  ~Schema();
  Schema(Schema&&) noexcept;
  Schema& operator=(Schema&&) noexcept;
  Schema(const Schema&) = delete;
  Schema& operator=(const Schema&) = delete;

  // Definitions as RFC 4512 writes them ("( 2.5.4.3 NAME ( 'cn' 'commonName' ) SUP name )"),
  // parsed by libldap. OID macros (`name:suffix`) are expanded first. A definition that cannot
  // be parsed is reported with `source` and `line` and left out.
  void AddAttributeType(std::string_view definition, std::string_view source, std::size_t line,
                        std::vector<SchemaProblem>& problems);
  void AddObjectClass(std::string_view definition, std::string_view source, std::size_t line,
                      std::vector<SchemaProblem>& problems);
  // An OID macro: "objectIdentifier NAME OID" ("OID" may itself start with a macro name).
  void AddObjectIdentifier(std::string_view name, std::string_view oid, std::string_view source,
                           std::size_t line, std::vector<SchemaProblem>& problems);
  // Links what the definitions added since the last call refer to by name (superiors, MUST,
  // MAY) and works out what is inherited. A reference to nothing defined is reported with the
  // definition's source and line; the definition keeps what it could resolve. Returns the
  // names that could not be resolved, for a loader that wants to suggest another source.
  std::vector<std::string> Resolve(std::vector<SchemaProblem>& problems);

  const AttributeType* FindAttribute(std::string_view nameOrOid) const;
  const ObjectClass* FindClass(std::string_view nameOrOid) const;
  // Every class, in the order defined.
  const std::deque<ObjectClass>& Classes() const { return classes_; }
  const std::deque<AttributeType>& Attributes() const { return attributes_; }
  bool empty() const { return attributes_.empty() && classes_.empty(); }

  // Whether `kind` is `ancestor` or inherits from it.
  static bool IsSubclassOf(const ObjectClass& kind, const ObjectClass& ancestor);
  // Whether an entry of class `kind` may hold `type` as the directory decides it (its MUST or
  // MAY, a superior's, or a type of which `type` is a subtype where the directory allows that;
  // extensibleObject allows every user type).
  static bool Allows(const ObjectClass& kind, const AttributeType& type);
  static bool Requires(const ObjectClass& kind, const AttributeType& type);

 private:
  struct Pending;
  // Names and OIDs compared with ASCII letters folded; lookups take views without copying.
  struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const;
  };
  struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  template <typename T>
  using NameIndex = std::unordered_map<std::string, T, NameHash, NameEqual>;

  Pending& Queue();
  // The text libldap is to parse, OID macros expanded.
  std::string ExpandMacros(std::string_view definition) const;
  // `oid` with a leading macro expanded; empty when it names no macro.
  std::string ExpandOid(std::string_view oid, bool bareName) const;
  // Whether a parsed definition's OID and names are free in `index`; `problem` says why not.
  template <typename T>
  bool Claim(const NameIndex<T>& index, std::string_view what, const char* oid, char** names,
             std::string& problem) const;
  template <typename T>
  static void Index(NameIndex<T*>& index, T& element);
  void ResolveTypes(std::vector<SchemaProblem>& problems, std::vector<std::string>& unresolved);
  void ResolveClasses(std::vector<SchemaProblem>& problems, std::vector<std::string>& unresolved);

  std::deque<AttributeType> attributes_;
  std::deque<ObjectClass> classes_;
  NameIndex<AttributeType*> attributeIndex_;  // names and OIDs
  NameIndex<ObjectClass*> classIndex_;
  NameIndex<std::string> macros_;     // OID macro name -> OID
  std::unique_ptr<Pending> pending_;  // references still to be resolved
};

}  // namespace quorvane
