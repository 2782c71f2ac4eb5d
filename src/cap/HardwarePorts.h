#pragma once

#include "config/Settings.h"
#include "ports/PortIo.h"

#include <memory>
#include <string>

namespace quav {

/// The ports of the real adapter that the settings select, ready for the line adapters;
/// null with a German message in `error` when they cannot be reached (no permission, a
/// machine without I/O ports, an adapter the command cannot drive yet).
///
/// The cards (Device 1 and 2) are reached through the processor's I/O ports, and only
/// their own ports are opened. The serial module (Device 0) is driven over the modem
/// lines of its tty.
std::unique_ptr<PortIo> OpenHardwarePorts(const Settings& settings, std::string& error);

} // namespace quav
