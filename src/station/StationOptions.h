#pragma once

#include <string>

namespace quav {

/// What stands behind the bus, as the command line of either program chose it. New
/// options that both programs share go here, beside the two that exist.
struct StationOptions
{
    /// "demo", a T42 recording, a TTI file or a folder of TTI files, for the simulated board.
    std::string source{"demo"};
    /// True when --source was given (it excludes --hardware).
    bool sourceGiven = false;
    /// The real adapters instead of the simulated board.
    bool hardware = false;
};

} // namespace quav
