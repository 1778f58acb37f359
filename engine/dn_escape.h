// DN escaping for dn: and member: lines, the base-DN suffix test and RDN value extraction.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvane {

// Address-book exports write DNs such as `cn=Doe, John,mail=ADDRESS` with nothing escaped.
// AppendEscapedDN turns such a value into an RFC 4514 DN, appending it to `out`:
//   - every backslash becomes \5C (the source never escapes, so a backslash is literal text);
//   - `"` becomes `'`;
//   - `+` becomes `\+`;
//   - "," or ", " directly followed by "mail=" becomes the RDN separator "+mail=", so the mail
//     address joins the name in one two-valued RDN;
//   - every other "," and every `>`, `<`, `;` gains a backslash;
//   - `&`, `~`, control bytes (0x00-0x1F, 0x7F) and bytes of 0x80 and above become \XX,
//     so no decoded DN can smuggle a line break into the output;
//   - a "#" that begins an attribute value becomes \23 (RFC 4514 reads it as hex BER).
void AppendEscapedDN(std::string_view value, std::string& out);
std::string EscapeDN(std::string_view value);

// The last rule above on its own: `&`, `~`, control bytes and bytes >= 0x80 as \XX.
std::string EscapeDNChars(std::string_view text);

// CR, LF and NUL as DN escapes (\0D, \0A, \00), every other byte as it is: how a DN line and a
// message quoting text write a line break, so that one line stays one line.
std::string EscapeLineBreaks(std::string_view text);

// A whole "dn:" or "member:" line: the name up to its colon, ": ", and the escaped value.
std::string EscapeDNLine(std::string_view line);

// Where `dn` ends with "," + `baseDN` (blanks allowed after that comma, ASCII case ignored):
// the position of that comma, or npos. `baseDN` must already be trimmed and non-empty.
std::size_t FindBaseSuffix(std::string_view dn, std::string_view baseDN);

// The value of the first RDN component of `dn` (text after the first "=", up to the first
// unescaped "+" or ","), still escaped. Empty when `dn` holds no "=".
std::string_view FirstRDNValue(std::string_view dn);

// Undoes DN escaping: \XX becomes that byte, \c becomes c.
std::string UnescapeDNValue(std::string_view value);
void AppendUnescapedDNValue(std::string_view value, std::string& out);

// RFC 2849 SAFE-STRING, and no trailing space: such a value can be written as "name: value";
// any other needs "name:: base64".
bool IsSafeString(std::string_view value);

// Appends "name: value" or "name:: base64" (name given without its colon) to `out`.
void AppendAttributeLine(std::string_view name, std::string_view value, std::string& out);

}  // namespace quorvane

namespace quorvane {

// The DN without its components of the form "type=" with nothing after the "=": `cn=,mail=X`
// becomes `mail=X`, `cn=test,mail=` becomes `cn=test` (`cn=Ann ,sn=` too: the DN it leaves
// ends in no blank); blank parts at its start go too (`,ou=x` becomes `ou=x`). The DN is split
// at its "," and "+" that no backslash escapes. Returns `dn` itself when it has no such
// component, else the DN built in `room`, which `dn` must not lie in.
std::string_view WithoutEmptyParts(std::string_view dn, std::string& room);

// Whether `dn` holds a "=" that no backslash escapes; a DN without one names nobody's
// attribute (a phone book writes the bare name).
bool HasUnescapedEquals(std::string_view dn);

// The first "type=value" of `dn`: the text up to the first "," or "+" that no backslash
// escapes. A first part without "=" names no attribute: the DN starts with a bare name.
std::string_view FirstAVA(std::string_view dn);

// The DN with each RDN value that is not UTF-8 read as Windows-1252 and written as UTF-8 (an
// old address book writes its own code page), the other values as they are, into `out`;
// false, and `out` left alone, when the whole DN is UTF-8 already. Done before escaping, so
// that the escaped DN is UTF-8 too (`\C3\A9`, not `\E9`).
bool RecodeDNValues(std::string_view dn, std::string& out);

// A DN written by a directory-minded program under a suffix of its own: every part after the
// first is `type=value` with a container type (ou, o, dc, c, l, st). The position of the comma
// that ends the first part (the first one no backslash escapes), or npos for any other DN (an
// address book's `cn=NAME,mail=ADDR` and `cn=Doe, John` among them).
std::size_t HierarchySuffix(std::string_view dn);

// Appends the RDN as such a program wrote it, made valid RFC 4514: each value without the
// blanks around it, escapes already there stay (`\,`, `\2C`), "+" stays the separator of a
// multi-valued RDN where another `type=value` follows it, and what is left ("+" inside a value
// among it) is escaped as AppendEscapedDN escapes it.
void AppendRDNAsWritten(std::string_view rdn, std::string& out);

// The same for every RDN of such a DN, kept whole: the RDNs as AppendRDNAsWritten writes them,
// joined by ",".
void AppendDNAsWritten(std::string_view dn, std::string& out);

}  // namespace quorvane
