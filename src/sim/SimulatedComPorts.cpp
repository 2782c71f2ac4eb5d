#include "sim/SimulatedComPorts.h"

#include <array>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace quav {

SimulatedComPorts::~SimulatedComPorts()
{
    for (Terminal& t : m_ports) {
        if (t.holder >= 0) {
            ::close(t.holder);
        }
        if (t.master >= 0) {
            ::close(t.master);
        }
    }
    if (m_notify >= 0) {
        ::close(m_notify);
    }
}

SimulatedComPorts::Terminal* SimulatedComPorts::Open(int port)
{
    if (port < 1 || port > Count) {
        return nullptr;
    }
    Terminal& t = m_ports[port - 1];
    if (t.master >= 0) {
        return &t;
    }
    int master = -1;
    int slave = -1;
    std::array<char, 256> name{};
    termios raw{};
    cfmakeraw(&raw);
    if (::openpty(&master, &slave, name.data(), &raw, nullptr) != 0) {
        return nullptr;
    }
    // Only the master is kept: it keeps the slave side alive for whoever opens it.
    ::close(slave);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    t.master = master;
    t.path = name.data();
    if (m_notify < 0) {
        m_notify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    if (m_notify >= 0) {
        t.watch = ::inotify_add_watch(m_notify, t.path.c_str(), IN_OPEN | IN_CLOSE);
    }
    return &t;
}

std::string SimulatedComPorts::Path(int port)
{
    const Terminal* t = Open(port);
    return t != nullptr ? t->path : std::string();
}

bool SimulatedComPorts::SetBusy(int port, bool busy)
{
    Terminal* t = Open(port);
    if (t == nullptr) {
        return false;
    }
    if (!busy) {
        if (t->holder >= 0) {
            // The exclusive flag belongs to the terminal, not to our descriptor; it would
            // outlive the close and keep the port closed to everyone.
            ::ioctl(t->holder, TIOCNXCL);
            ::close(t->holder);
            t->holder = -1;
        }
        return true;
    }
    if (t->holder >= 0) {
        return true;
    }
    const int fd = ::open(t->path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // Exclusive mode keeps out any further open (except by root); the lock keeps out
    // everyone who asks for it, root included.
    if (::ioctl(fd, TIOCEXCL) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    t->holder = fd;
    return true;
}

bool SimulatedComPorts::Busy(int port) const
{
    return port >= 1 && port <= Count && m_ports[port - 1].holder >= 0;
}

void SimulatedComPorts::Drain()
{
    std::array<char, 512> sink{};
    for (const Terminal& t : m_ports) {
        if (t.master < 0) {
            continue;
        }
        for (int i = 0; i < 64 && ::read(t.master, sink.data(), sink.size()) > 0; ++i) {
        }
    }
}

void SimulatedComPorts::FollowOpens(const std::function<void(int port, bool open)>& changed)
{
    if (m_notify < 0) {
        return;
    }
    alignas(inotify_event) std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t got = ::read(m_notify, buffer.data(), buffer.size());
        if (got <= 0) {
            return;
        }
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + at, sizeof event);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
            for (int port = 1; port <= Count; ++port) {
                Terminal& t = m_ports[port - 1];
                if (t.watch < 0 || t.watch != event.wd) {
                    continue;
                }
                if ((event.mask & IN_OPEN) != 0 && t.users++ == 0) {
                    changed(port, true);
                }
                if ((event.mask & IN_CLOSE) != 0 && t.users > 0 && --t.users == 0) {
                    changed(port, false);
                }
            }
        }
    }
}

} // namespace quav
