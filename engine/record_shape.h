// What a record is, from its lines: a header block, a person, a list; its object classes.
#pragma once

#include <string>
#include <string_view>

#include "engine/record_lines.h"

namespace quorvane {

// A block that holds only comment lines and the "version: 1" header that may open a file is
// no record (RFC 2849): it gets no DN and is not counted.
bool IsHeaderBlock(const RecordLines& lines);

// Whether any line is a dn: line.
bool HasDNLine(const RecordLines& lines);

// The source DN an address book would have written for a record without one, from its first
// non-empty cn: and mail: values ("cn=NAME,mail=ADDR", "cn=NAME" or "mail=ADDR"); empty when
// it has neither. Base64 values are decoded.
std::string DNFromNames(const RecordLines& lines);

// The record's shape as its lines stand.
struct RecordShape {
  bool isPerson = false;      // a person class: it should have sn: and cn:
  bool isGroup = false;       // groupOfNames or groupOfUniqueNames: it should have cn:
  bool lacksMembers = false;  // a list without a line of its member attribute
};
RecordShape ShapeOf(const RecordLines& lines);

// The structural class a record gets when it has none: a list of its member attribute
// (groupOfUniqueNames with uniqueMember lines, groupOfNames with member lines), else a person.
std::string_view DefaultClassFor(bool members, bool uniqueMembers);

// The object classes as the record's lines hold them after the profile's rules: every record
// keeps at least one. A record without any gets inetOrgPerson (groupOfNames with member:
// lines, groupOfUniqueNames with uniqueMember: lines), inserted after its dn: line, unless
// nothing at all is left of it. In records after the first, the generic classes top, person
// and organizationalPerson are dropped, but only where another class remains: a class a
// directory needs is never lost. Returns the shape of the record as it is then.
RecordShape SettleObjectClasses(RecordLines& lines, bool isFirstRecord);

}  // namespace quorvane
