#pragma once

#include <string>

namespace quav {

/// What stands behind the bus, as the command line of either program chose it. New
/// options that both programs share go here, beside the two that exist.
struct StationOptions
{
    /// "demo", a T42 recording, a TTI file, a folder of TTI files or a transport stream (a
    /// file, "-" for standard input, a DVB demux device), for the simulated board.
    std::string source{"demo"};
    /// The teletext PID of a transport stream; -1: the first teletext service of PAT and PMT.
    int pid = -1;
    /// True when --source was given (it excludes --hardware).
    bool sourceGiven = false;
    /// The real adapters instead of the simulated board.
    bool hardware = false;
};

} // namespace quav
