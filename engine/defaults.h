// Defaults that the window and quorvane-fix share, so both repair a book the same way.
#pragma once

#include <string_view>

namespace quorvane {

// The base DN used until the user chooses one: a contacts container under an example domain.
inline constexpr std::string_view kDefaultBaseDN = "dc=contacts,dc=example,dc=com";

}  // namespace quorvane
