// When two lines of a record hold the same value to a directory.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// Writes to `key` a text that two lines share exactly when a directory takes them for the
// same value of the same attribute, as far as ASCII goes: attribute names without regard to
// case; values without regard to case where the attribute's matching ignores case (cn, mail,
// description, ...), telephone numbers also without spaces and hyphens, other values
// byte for byte (userPassword, labeledURI, any attribute not known here). A Base64 value
// counts as its decoded bytes. Letters beyond ASCII are compared as bytes.
void ValueKey(std::string_view line, std::string& key);

}  // namespace quorvane
