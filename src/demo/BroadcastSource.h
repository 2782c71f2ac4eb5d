#pragma once

#include "broadcast/BroadcastClock.h"
#include "broadcast/PacketSource.h"
#include "broadcast/TsSource.h"
#include "broadcast/TtiCarousel.h"
#include "broadcast/TtiReader.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quav {

/// What a broadcast source named by the user turned out to be.
enum class BroadcastKind
{
    Demo,            ///< "demo": the built-in demo service
    Recording,       ///< a T42 recording
    TtiFile,         ///< one TTI page file
    TtiFolder,       ///< a folder of TTI page files
    TransportStream, ///< a DVB transport-stream recording (.ts, M2TS)
    LiveStream,      ///< a transport stream as it comes: "-" (standard input) or a DVB demux device
};

/// Why a source could not be opened; each is a different case for the user.
enum class BroadcastFault
{
    None,
    Missing,    ///< there is no such file or folder
    Unreadable, ///< it is there but cannot be read
    NoTeletext, ///< it can be read but holds no teletext
};

struct BroadcastError
{
    BroadcastFault fault = BroadcastFault::None;
    std::string message; ///< German, for the user
};

/// A source, recognised and read, before it goes on air.
struct BroadcastInput
{
    BroadcastKind kind = BroadcastKind::Demo;
    std::string path;           ///< as the user gave it; "demo" for the demo service
    std::vector<TtiPage> pages; ///< the pages, for the demo service and TTI sources
    std::vector<TtiMessage> warnings;
    /// Transport streams: the teletext PID (given, or the first that PAT and PMT name; -1
    /// still unknown for standard input).
    int pid = -1;
    /// Where a transport stream tells of damage while it plays; standard error if empty.
    TsReport report;
};

/// The name that selects a transport stream on standard input.
inline constexpr std::string_view StandardInputName = "-";

/// The name that selects the built-in demo service.
inline constexpr std::string_view DemoSourceName = "demo";

/// Finds out what `source` is and reads it: "demo", a folder of TTI files, a file that
/// holds TTI pages, a T42 recording or a transport stream, recognised by its content
/// whatever its name, "-" for a transport stream on standard input, or a DVB demux device.
/// A recording is only checked here, not read; of a transport stream, PAT and PMT are
/// read to find its teletext, unless `pid` (>= 0) names it. False with `error` set when
/// the source is missing, unreadable or holds no teletext. Never throws.
bool LoadBroadcastInput(std::string_view source, BroadcastInput& input, BroadcastError& error, int pid = -1);

/// Puts a loaded source on air. TTI pages and the demo service become a carousel whose
/// header shows the service name, the date and the clock of `clock`, which must outlive
/// the source. Null with `error` set when a recording cannot be opened after all.
std::unique_ptr<PacketSource> MakeBroadcast(const BroadcastInput& input, BroadcastClock& clock,
                                            BroadcastError& error);

/// LoadBroadcastInput and MakeBroadcast in one: the broadcast that `source` names, or
/// null with a German message in `error`. `clock` must outlive the source.
/// `pid` chooses the teletext of a transport stream (-1: the first in PAT and PMT).
std::unique_ptr<PacketSource> OpenBroadcast(std::string_view source, BroadcastClock& clock,
                                            std::string& error, int pid = -1);
/// The same on the system clock.
std::unique_ptr<PacketSource> OpenBroadcast(std::string_view source, std::string& error, int pid = -1);

/// The header text function of the carousels: the demo service's header template at the
/// local time of the given moment.
TtiCarousel::HeaderText ServiceHeaderText();

} // namespace quav
