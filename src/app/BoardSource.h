#pragma once

#include "broadcast/PacketSource.h"

#include <memory>
#include <string>

namespace quav {

/// The broadcast that the simulated board receives: "demo" for the built-in service, or
/// a T42 recording, a TTI file, a folder of TTI files, a transport stream (file, "-" for
/// standard input, or a DVB demux device) whose teletext `pid` chooses. Null with a
/// German message in `error` when the source cannot be used.
std::unique_ptr<PacketSource> OpenBoardSource(const std::string& source, std::string& error, int pid = -1);

} // namespace quav
