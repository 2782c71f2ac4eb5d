#pragma once

#include "config/Settings.h"

#include <string>

namespace quav {

/// The hardware settings as the viewer stored them. False with a German message when
/// there are none of this program's, or they cannot be read.
bool LoadStoredSettings(Settings& settings, std::string& error);

} // namespace quav
