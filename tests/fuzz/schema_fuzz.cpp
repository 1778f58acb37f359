// Fuzzes the schema reader and the model it fills with arbitrary schema files and LDIF.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "schema/schema.h"
#include "schema/schema_file.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using quorvane::AttributeType;
using quorvane::ObjectClass;
using quorvane::Schema;

// Definitions the input may build on, so that its references can resolve.
constexpr std::string_view kPrelude =
    "objectidentifier Base 1.1.1\n"
    "attributetype ( 2.5.4.0 NAME 'objectClass' SYNTAX 1.3.6.1.4.1.1466.115.121.1.38 )\n"
    "attributetype ( 2.5.4.41 NAME 'name' EQUALITY caseIgnoreMatch"
    " SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )\n"
    "attributetype ( 2.5.4.3 NAME ( 'cn' 'commonName' ) SUP name )\n"
    "objectclass ( 2.5.6.0 NAME 'top' ABSTRACT MUST objectClass )\n"
    "objectclass ( 2.5.6.6 NAME 'person' SUP top STRUCTURAL MUST cn )\n";

bool Contains(const std::vector<const AttributeType*>& list, const AttributeType* type) {
  for (const AttributeType* t : list) {
    if (t == type) return true;
  }
  return false;
}

// Every name and OID finds the definition that carries it; superior chains end.
void CheckTypes(const Schema& schema) {
  for (const AttributeType& type : schema.Attributes()) {
    FUZZ_CHECK(schema.FindAttribute(type.oid) == &type);
    for (const std::string& name : type.names) FUZZ_CHECK(schema.FindAttribute(name) == &type);
    std::size_t steps = 0;
    for (const AttributeType* up = type.superior; up != nullptr; up = up->superior) {
      FUZZ_CHECK(++steps <= schema.Attributes().size());
    }
  }
}

// MUST and MAY hold each type once and apart; what a class lists it allows, and requires
// exactly its MUST.
void CheckClasses(const Schema& schema) {
  for (const ObjectClass& kind : schema.Classes()) {
    FUZZ_CHECK(schema.FindClass(kind.oid) == &kind);
    FUZZ_CHECK(Schema::IsSubclassOf(kind, kind));
    for (const ObjectClass* superior : kind.superiors) {
      FUZZ_CHECK(Schema::IsSubclassOf(kind, *superior));
      FUZZ_CHECK(superior == &kind || !Schema::IsSubclassOf(*superior, kind));
    }
    for (std::size_t i = 0; i < kind.must.size(); ++i) {
      FUZZ_CHECK(Schema::Allows(kind, *kind.must[i]) && Schema::Requires(kind, *kind.must[i]));
      for (std::size_t j = i + 1; j < kind.must.size(); ++j)
        FUZZ_CHECK(kind.must[i] != kind.must[j]);
    }
    for (std::size_t i = 0; i < kind.may.size(); ++i) {
      FUZZ_CHECK(Schema::Allows(kind, *kind.may[i]) && !Schema::Requires(kind, *kind.may[i]));
      FUZZ_CHECK(!Contains(kind.must, kind.may[i]));
      for (std::size_t j = i + 1; j < kind.may.size(); ++j) FUZZ_CHECK(kind.may[i] != kind.may[j]);
    }
  }
}

}  // namespace

// Input: a flag byte, then the text. Properties: no crash, leak or undefined behaviour; every
// problem names the source and a line of the text; the model's lookups and lists are
// consistent whatever was left out.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvane::fuzz::FuzzInput input(data, size);
  const std::uint8_t flags = input.Byte();
  const std::string_view text = input.Rest();

  Schema schema;
  std::vector<quorvane::SchemaProblem> problems;
  if ((flags & 1) != 0) quorvane::AddSchemaText(schema, kPrelude, "prelude", problems);
  FUZZ_CHECK(problems.empty());
  if ((flags & 2) != 0) schema.Resolve(problems);
  quorvane::AddSchemaText(schema, text, "fuzz", problems);
  // The same text again: restated definitions and conflicts with itself.
  if ((flags & 4) != 0) quorvane::AddSchemaText(schema, text, "fuzz", problems);
  schema.Resolve(problems);

  std::size_t lines = 1;
  for (char c : text) lines += c == '\n' ? 1 : 0;
  for (const quorvane::SchemaProblem& problem : problems) {
    FUZZ_CHECK(problem.source == "fuzz");
    FUZZ_CHECK(problem.line >= 1 && problem.line <= lines);
    FUZZ_CHECK(!problem.message.empty());
  }
  CheckTypes(schema);
  CheckClasses(schema);
  return 0;
}
