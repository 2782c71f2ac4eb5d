#include "ports/DirectPortIo.h"

#include <cerrno>
#include <cstring>

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__)) && __has_include(<sys/io.h>)
#define QUAV_HAVE_PORT_IO 1
#include <sys/io.h>
#else
#define QUAV_HAVE_PORT_IO 0
#endif

namespace quav {

DirectPortIo::DirectPortIo(std::span<const std::uint16_t> allowedPorts)
{
    for (std::uint16_t port : allowedPorts) {
        m_allowed.set(port);
    }
}

DirectPortIo::~DirectPortIo()
{
    Release();
}

bool DirectPortIo::Supported()
{
    return QUAV_HAVE_PORT_IO != 0;
}

std::string DirectPortIo::PortAccessRefusedText(int errorNumber)
{
    if (errorNumber == ENOSYS) {
        // Kernels built without ioperm (CONFIG_X86_IOPL_IOPERM off) refuse everybody.
        return "Dieser Kernel erlaubt keinen direkten Zugriff auf I/O-Ports (ioperm fehlt), auch nicht "
               "mit Root-Rechten. Die Videotext-Karten sind so nicht erreichbar, das serielle Modul schon.";
    }
    std::string message = "Kein Zugriff auf die I/O-Ports der Videotext-Karte (";
    message += std::strerror(errorNumber);
    message += "). Der direkte Portzugriff braucht Root-Rechte oder die Fähigkeit "
               "CAP_SYS_RAWIO (setcap cap_sys_rawio+ep).";
    return message;
}

std::string DirectPortIo::Open()
{
#if QUAV_HAVE_PORT_IO
    if (m_open) {
        return {};
    }
    for (std::size_t port = 0; port < m_allowed.size(); ++port) {
        if (!m_allowed.test(port)) {
            continue;
        }
        // One port at a time: the kernel grants exactly the adapter ports and nothing
        // between them.
        if (ioperm(static_cast<unsigned long>(port), 1, 1) != 0) {
            const int err = errno;
            m_open = true; // so that Release() returns what was granted so far
            Release();
            return PortAccessRefusedText(err);
        }
    }
    m_open = true;
    return {};
#else
    return "Direkter Portzugriff wird auf diesem System nicht unterstützt (nur x86-Linux).";
#endif
}

void DirectPortIo::Release()
{
#if QUAV_HAVE_PORT_IO
    if (!m_open) {
        return;
    }
    for (std::size_t port = 0; port < m_allowed.size(); ++port) {
        if (m_allowed.test(port)) {
            ioperm(static_cast<unsigned long>(port), 1, 0);
        }
    }
#endif
    m_open = false;
}

std::uint8_t DirectPortIo::ReadPort(std::uint16_t port)
{
#if QUAV_HAVE_PORT_IO
    if (Allows(port)) {
        return inb(port);
    }
#else
    (void)port;
#endif
    return 0xFF;
}

void DirectPortIo::WritePort(std::uint16_t port, std::uint8_t value)
{
#if QUAV_HAVE_PORT_IO
    if (Allows(port)) {
        outb(value, port);
    }
#else
    (void)port;
    (void)value;
#endif
}

} // namespace quav
