// Base64 for LDIF: the decoder for dn:: and member:: lines (lenient about characters, strict
// about length) and the encoder for values that are not safe to write as plain text.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

inline constexpr const char* kBase64LengthError = "Base64ToStr: illegal input length!";

// The 6-bit value of `c` in the RFC 4648 alphabet; any other character, "=" included, is 61.
int Base64CharIndex(char c);

// Decodes `text`; throws quorvane::Error(kBase64LengthError) when its length is below 4 or
// not a multiple of 4. Every trailing "=" removes one byte from the end of the result.
std::string Base64ToStr(std::string_view text);
// The same, appending the decoded bytes to `out`, which keeps its room from call to call. On
// the length error `out` is left as it was.
void AppendBase64Decoded(std::string_view text, std::string& out);
// The same for a caller that goes on after a value that does not decode: `out` holds the
// decoded bytes (what it held before is replaced) and the result is true, or `out` is empty and
// the result false where Base64ToStr would throw (kBase64LengthError says why).
bool TryBase64ToStr(std::string_view text, std::string& out);

// Standard RFC 4648 encoding with "=" padding, for values that must be written as "name:: data".
std::string StrToBase64(std::string_view bytes);
void AppendBase64Encoded(std::string_view bytes, std::string& out);

}  // namespace quorvane
