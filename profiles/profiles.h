// Transform profiles: the *.ini files beside the executable, and loading one into the map.
#pragma once

#include <string>
#include <vector>

#include "engine/log.h"
#include "engine/transform_map.h"

namespace quorvane {

// The names (without directory and ".ini") of the regular files matching *.ini in `appDir`,
// sorted without regard to letter case (ASCII letters folded; names equal but for case in
// byte order, so "Stock" before "stock").
std::vector<std::string> ListProfiles(const std::string& appDir);

// The file of profile `name`: appDir + name + ".ini".
std::string ProfilePath(const std::string& appDir, const std::string& name);

// Loads section [transform] of `fileName` into `map` (emptied first) and returns the
// description of [info]. A missing or unreadable file gives an empty map and description.
// Each entry is reported at level 0 as "%d %s/\/%s/\/%s" (index, entry, key, value).
std::string LoadProfile(const std::string& fileName, TransformMap& map, Log* log);

}  // namespace quorvane
