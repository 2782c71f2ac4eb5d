#pragma once

#include <array>
#include <functional>
#include <string>

namespace quav {

/// The four COM ports of the simulated PC, as pseudo-terminals.
///
/// While the board is simulated, "COM1" to "COM4" stand for these instead of /dev/ttyS0 to
/// /dev/ttyS3, so the serial port object claims them exactly as it claims a real port
/// (open, TIOCEXCL, flock) and the program never needs a real serial port. A pseudo-terminal
/// is made when its path is first asked for; the master side stays with this object, and
/// whatever is written to a port is thrown away.
///
/// A port can be marked busy: this object then holds it open itself, exclusive (TIOCEXCL)
/// and locked (flock LOCK_EX), as another program using the port would, so that claiming it
/// fails.
///
/// Opening a port raises its DTR and RTS lines and the last close drops them again, as the
/// serial driver of Linux does with a real port. This object watches the opens and closes
/// of each port (inotify on the terminal) and tells the board in FollowOpens, so that the
/// board's lines follow. Not thread-safe; the board belongs to the user-interface thread.
class SimulatedComPorts
{
public:
    static constexpr int Count = 4;

    SimulatedComPorts() = default;
    ~SimulatedComPorts();
    SimulatedComPorts(const SimulatedComPorts&) = delete;
    SimulatedComPorts& operator=(const SimulatedComPorts&) = delete;

    /// The device path that COM `port` (1 to 4) stands for; empty when the number is out of
    /// range or no pseudo-terminal could be made.
    std::string Path(int port);

    /// Holds the port (busy = true) or lets it go. False when the port cannot be held, for
    /// example because someone else has claimed it first.
    bool SetBusy(int port, bool busy);
    bool Busy(int port) const;

    /// Throws away what has been written to the ports, so that a writer never blocks.
    void Drain();

    /// Calls `changed(port, open)` for each port that has been opened by its first user
    /// (open = true) or closed by its last (open = false) since the last call, in the
    /// order it happened. Costs one system call when nothing happened.
    void FollowOpens(const std::function<void(int port, bool open)>& changed);

private:
    struct Terminal
    {
        int master = -1;
        int holder = -1; ///< our own open of the slave side while the port is busy
        int watch = -1;  ///< inotify watch of the slave side
        int users = 0;   ///< opens of the slave side not yet closed
        std::string path;
    };
    Terminal* Open(int port);

    std::array<Terminal, Count> m_ports{};
    int m_notify = -1; ///< inotify descriptor for the watches
};

} // namespace quav
