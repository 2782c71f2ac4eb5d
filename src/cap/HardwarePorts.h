#pragma once

#include "config/Settings.h"
#include "ports/DirectPortIo.h"
#include "ports/PortIo.h"

#include <memory>
#include <string>

namespace quav {

class Station;

/// The ports of the real adapter that the settings select, ready for the line adapters;
/// null with a German message in `error` when they cannot be reached (no permission, a
/// machine without I/O ports, a port that is in use).
///
/// The cards (Device 1 and 2) are reached through the processor's I/O ports, which
/// Station::OpenCardPorts asked for at the start, before the command gave up its
/// privileges: `cards` as it handed them out, `cardMessage` its message when the kernel
/// refused them. The serial module (Device 0) is reached over the modem lines of its
/// claimed tty. `settings` must outlive the ports.
std::unique_ptr<PortIo> OpenHardwarePorts(const Settings& settings, std::string& error,
                                          std::unique_ptr<DirectPortIo> cards,
                                          const std::string& cardMessage);

/// The ports of a hardware station, which they keep together with the card ports it
/// routes to: for the serial module its COM port is claimed first (and the bus brought to
/// idle). Null with a German message in `error`.
std::unique_ptr<PortIo> ClaimHardware(std::unique_ptr<Station> station, const Settings& settings,
                                      std::string& error, std::unique_ptr<DirectPortIo> cards = nullptr);

} // namespace quav
