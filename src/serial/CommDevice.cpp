#include "serial/CommDevice.h"

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace quav {

ssize_t CommDevice::Read(int fd, void* buffer, std::size_t count)
{
    return ::read(fd, buffer, count);
}

ssize_t CommDevice::Write(int fd, const void* data, std::size_t count)
{
    return ::write(fd, data, count);
}

bool CommDevice::ReadLineCounters(int fd, LineCounters& counters)
{
    serial_icounter_struct icount{};
    if (::ioctl(fd, TIOCGICOUNT, &icount) != 0) {
        return false;
    }
    counters.Frame = static_cast<std::uint32_t>(icount.frame);
    counters.Overrun = static_cast<std::uint32_t>(icount.overrun);
    counters.Parity = static_cast<std::uint32_t>(icount.parity);
    counters.Break = static_cast<std::uint32_t>(icount.brk);
    counters.BufOverrun = static_cast<std::uint32_t>(icount.buf_overrun);
    return true;
}

} // namespace quav
