#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace quav {

/// The error counters of a serial line since the driver started it.
struct LineCounters
{
    std::uint32_t Frame = 0;
    std::uint32_t Overrun = 0; ///< the UART lost characters
    std::uint32_t Parity = 0;
    std::uint32_t Break = 0;
    std::uint32_t BufOverrun = 0; ///< the driver's receive buffer was full
};

/// The calls the reader and the writer make on an open port. The default passes them to the
/// system; tests replace single calls (a device that takes a write in parts, line errors
/// that a pseudo-terminal cannot produce).
///
/// Called from the reader and the writer thread at the same time: implementations must be
/// thread-safe.
class CommDevice
{
public:
    virtual ~CommDevice() = default;

    /// read(2): bytes read, 0 at end of file, -1 with errno set.
    virtual ssize_t Read(int fd, void* buffer, std::size_t count);
    /// write(2): bytes written, -1 with errno set.
    virtual ssize_t Write(int fd, const void* data, std::size_t count);
    /// TIOCGICOUNT. False with errno set when the counters cannot be read; EINVAL or ENOTTY
    /// mean that the driver keeps none (pseudo-terminals, some adapters).
    virtual bool ReadLineCounters(int fd, LineCounters& counters);
};

} // namespace quav
