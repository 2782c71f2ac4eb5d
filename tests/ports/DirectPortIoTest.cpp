#include "ports/DirectPortIo.h"

#include "bus/AdapterPorts.h"

#include <cerrno>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quav {
namespace {

// These tests never obtain port permission in the test process: CI runs as root on a real
// machine, where a stray port write could do harm. The permission test runs in a child
// that has given up root first, so the kernel refuses it.

TEST(DirectPortIo, KnowsExactlyTheAdapterPorts)
{
    const auto ports = adapter::AllAdapterPorts();
    DirectPortIo io(ports);
    for (std::uint16_t p : ports) {
        EXPECT_TRUE(io.IsAdapterPort(p)) << std::hex << p;
    }
    for (int p : {0x0000, 0x0080, 0x03F8, 0x03FD, 0x0250, 0x0CF8, 0xFFFF}) {
        EXPECT_FALSE(io.IsAdapterPort(std::uint16_t(p))) << std::hex << p;
    }
}

TEST(DirectPortIo, RefusesEveryAccessBeforeOpen)
{
    const auto ports = adapter::AllAdapterPorts();
    DirectPortIo io(ports);
    EXPECT_FALSE(io.IsOpen());
    EXPECT_FALSE(io.Allows(0x3FC));
    // Without permission inb would fault the process; a refused read answers 0xFF instead.
    EXPECT_EQ(io.ReadPort(0x3FC), 0xFF);
    io.WritePort(0x3FC, 0x03);
    EXPECT_EQ(io.ReadPort(0x80), 0xFF);
}

TEST(DirectPortIo, WithoutPermissionOpenFailsWithAMessage)
{
    if (!DirectPortIo::Supported()) {
        GTEST_SKIP() << "no port I/O on this platform";
    }
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        if (getuid() == 0 || geteuid() == 0) {
            // nobody: no capabilities survive the change of user
            if (setgid(65534) != 0 || setuid(65534) != 0) {
                _exit(3);
            }
        }
        const auto ports = adapter::AllAdapterPorts();
        DirectPortIo io(ports);
        const std::string message = io.Open();
        const bool refused = !message.empty() && !io.IsOpen() && !io.Allows(0x3FC);
        (void)!write(pipeFds[1], message.data(), message.size());
        _exit(refused ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string message;
    char buf[512];
    for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) > 0;) {
        message.append(buf, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 3) << "could not drop root for the test";
    EXPECT_EQ(WEXITSTATUS(status), 0) << message;
    // On a kernel without ioperm that, and not the rights, is what the message says.
    const bool noIoperm = message.find("ioperm fehlt") != std::string::npos;
    EXPECT_TRUE(noIoperm || message.find("Kein Zugriff auf die I/O-Ports") != std::string::npos) << message;
    EXPECT_TRUE(noIoperm || message.find("CAP_SYS_RAWIO") != std::string::npos) << message;

    // A kernel without ioperm refuses root as well: no talk of missing rights then.
    const std::string kernel = DirectPortIo::PortAccessRefusedText(ENOSYS);
    EXPECT_NE(kernel.find("ioperm fehlt"), std::string::npos) << kernel;
    EXPECT_EQ(kernel.find("braucht Root-Rechte"), std::string::npos) << kernel;
}

} // namespace
} // namespace quav
