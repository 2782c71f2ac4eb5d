#pragma once

#include "broadcast/PacketSource.h"

#include <memory>
#include <string>

namespace quav {

/// The broadcast that the simulated board receives: "demo" for the built-in service, or
/// a T42 recording, a TTI file or a folder of TTI files. Null with a German message in
/// `error` when the source cannot be used.
std::unique_ptr<PacketSource> OpenBoardSource(const std::string& source, std::string& error);

} // namespace quav
