#pragma once

#include "broadcast/Packet.h"
#include "bus/I2cMaster.h"
#include "bus/LineAdapters.h"
#include "config/Settings.h"
#include "decoder/Decoder.h"
#include "sim/SimulatedBoard.h"
#include "support/ManualClock.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace quav::test {

/// The whole bus stack on a simulated board with a hand-driven clock: board, settings
/// matching its place (bus delay 0), line adapters, I2C master and decoder operations.
/// Members are public so a test can reach into any layer.
struct SimulatedStack
{
    explicit SimulatedStack(BoardPlacement placement = {});

    /// Settings that select the adapter and address the board sits at.
    static Settings SettingsFor(BoardPlacement placement);

    /// Plays these packets over and over.
    void Play(std::vector<Packet> packets);
    /// Lets broadcast time pass.
    void Run(std::chrono::nanoseconds time) { clock.Advance(time); }

    /// The status code the driver gets now.
    std::uint8_t Status();

    ManualClock clock;
    SimulatedBoard board{clock};
    Settings settings;
    LineAdapters lines{board, settings};
    I2cMaster master{lines};
    Decoder decoder{master};
};

/// A fresh directory for one test's files, removed again at the end.
class ScratchDirectory
{
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

} // namespace quav::test
