// Where the program finds its profiles and keeps its settings.
#pragma once

#include <string>

namespace quorvane {

// The directory of the running executable, with a trailing "/".
std::string AppDir();

// The user's configuration directory ($XDG_CONFIG_HOME, by default ~/.config), with a trailing
// "/", created when missing. Never AppDir(), so the settings file is never taken for a profile.
std::string SettingsDir();

}  // namespace quorvane
