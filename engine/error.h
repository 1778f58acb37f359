// The one exception type the program raises for failures a user must be told about.
#pragma once

#include <stdexcept>
#include <string>

namespace quorvane {

// A failure with a message meant for the user ("Cannot open file ...", "Unable to write to ...").
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quorvane
