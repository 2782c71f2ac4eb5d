#include "ports/PortPermissions.h"

#include "bus/AdapterPorts.h"
#include "ports/DirectPortIo.h"

#include <cstdlib>
#include <functional>
#include <grp.h>
#include <linux/capability.h>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

namespace quav {
namespace {

using Action = PrivilegeDropPlan::Action;

constexpr uid_t Nobody = 65534;

TEST(PortPermissions, ParsesOnlyPlainUserNumbers)
{
    struct Row
    {
        const char* text;
        std::optional<std::uint32_t> expected;
    };
    const std::vector<Row> rows{{"1000", 1000},
                                {"0", 0},
                                {"65534", 65534},
                                {"", std::nullopt},
                                {"-1", std::nullopt},
                                {"+5", std::nullopt},
                                {"12a", std::nullopt},
                                {" 7", std::nullopt},
                                {"4294967294", 4294967294u},
                                {"4294967295", std::nullopt}, // the "unchanged" value of the set*id calls
                                {"99999999999", std::nullopt}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ParseId(row.text), row.expected);
    }
}

TEST(PortPermissions, PlansTheWayBackToTheUserWhoStartedTheProgram)
{
    const auto root = [] {
        ProcessCredentials c; // all zero: root
        c.capabilities = true;
        c.nobodyUid = 99; // not the usual number, to see that the system's nobody is used
        c.nobodyGid = 98;
        return c;
    };
    struct Row
    {
        const char* name;
        ProcessCredentials credentials;
        RootStart rootStart;
        Action action;
        uid_t uid;
        gid_t gid;
        const char* error; ///< a part of the refusal, null when the plan goes ahead
    };
    std::vector<Row> rows;
    {
        auto c = root();
        c.sudoUid = "1000";
        c.sudoGid = "1001";
        rows.push_back({"sudo", c, RootStart::Refuse, Action::SwitchUser, 1000, 1001, nullptr});
        rows.push_back(
            {"sudo, command", c, RootStart::BecomeNobody, Action::SwitchUser, 1000, 1001, nullptr});
        c.sudoGid.reset();
        rows.push_back(
            {"sudo without SUDO_GID", c, RootStart::BecomeNobody, Action::Nothing, 0, 0, "SUDO_UID"});
        c.sudoGid = "1001";
        c.sudoUid = "tux";
        rows.push_back({"sudo with a name instead of a number", c, RootStart::BecomeNobody, Action::Nothing,
                        0, 0, "SUDO_UID"});
        c.sudoUid = "0";
        c.sudoGid = "0";
        rows.push_back({"root using sudo", c, RootStart::Refuse, Action::Nothing, 0, 0, "nicht als root"});
        rows.push_back(
            {"root using sudo, command", c, RootStart::BecomeNobody, Action::SwitchUser, 99, 98, nullptr});
    }
    rows.push_back({"root login", root(), RootStart::Refuse, Action::Nothing, 0, 0, "nicht als root"});
    rows.push_back(
        {"root login, command", root(), RootStart::BecomeNobody, Action::SwitchUser, 99, 98, nullptr});
    {
        auto c = root();
        c.realUid = 1000;
        c.realGid = 100;
        c.sudoUid = "2000"; // not trusted: the real user is known
        c.sudoGid = "2000";
        rows.push_back({"set-user-ID root", c, RootStart::Refuse, Action::SwitchUser, 1000, 100, nullptr});
        c.realUid = 0; // root left only as the effective user still counts as root itself
        c.effectiveUid = 1000;
        c.sudoUid.reset();
        rows.push_back({"root with another effective user", c, RootStart::BecomeNobody, Action::SwitchUser,
                        99, 98, nullptr});
    }
    {
        ProcessCredentials c;
        c.realUid = c.effectiveUid = c.savedUid = 1000;
        c.realGid = c.savedGid = 100;
        c.effectiveGid = 20;
        rows.push_back({"set-group-ID", c, RootStart::Refuse, Action::SwitchUser, 1000, 100, nullptr});
        c.effectiveGid = 100;
        c.capabilities = true;
        rows.push_back({"file capability", c, RootStart::Refuse, Action::ClearCapabilities, 0, 0, nullptr});
        c.capabilities = false;
        rows.push_back({"ordinary user", c, RootStart::Refuse, Action::Nothing, 0, 0, nullptr});
        c.sudoUid = "0"; // an ordinary user cannot become root through the environment
        c.sudoGid = "0";
        rows.push_back({"ordinary user with SUDO_UID", c, RootStart::Refuse, Action::Nothing, 0, 0, nullptr});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const PrivilegeDropPlan plan = PlanPrivilegeDrop(row.credentials, row.rootStart);
        EXPECT_EQ(plan.error.empty(), row.error == nullptr) << plan.error;
        if (row.error != nullptr) {
            EXPECT_NE(plan.error.find(row.error), std::string::npos) << plan.error;
            continue;
        }
        EXPECT_EQ(plan.action, row.action);
        EXPECT_EQ(plan.notice.empty(), row.uid != 99) << "a note exactly when root goes on as nobody";
        if (row.action == Action::SwitchUser) {
            EXPECT_EQ(plan.uid, row.uid);
            EXPECT_EQ(plan.gid, row.gid);
        }
    }
}

// Runs `body` in a forked child and returns what it returned ("" = all held), or a note
// about how the child died. Privileges are given up for good, so only ever in a child.
std::string InChild(const std::function<std::string()>& body)
{
    int fds[2];
    if (pipe(fds) != 0) {
        return "no pipe";
    }
    const pid_t child = fork();
    if (child < 0) {
        return "no fork";
    }
    if (child == 0) {
        close(fds[0]);
        const std::string result = body();
        (void)!write(fds[1], result.data(), result.size());
        _exit(result.empty() ? 0 : 1);
    }
    close(fds[1]);
    std::string message;
    char buf[512];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) {
        message.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status)) {
        return "child died: " + message;
    }
    return WEXITSTATUS(status) == 0 ? std::string() : (message.empty() ? "child failed" : message);
}

bool AnyCapability()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capget, &header, data) != 0) {
        return true;
    }
    return (data[0].effective | data[0].permitted | data[1].effective | data[1].permitted) != 0;
}

TEST(PortPermissions, RootFromSudoOrItselfBecomesAnOrdinaryUserForGood)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to try";
    }
    // sudo by nobody goes back to nobody; the capture command started by root itself goes
    // on as nobody. Either way nothing of root may be left, nor root's folders.
    for (const bool sudo : {true, false}) {
        SCOPED_TRACE(sudo ? "sudo" : "root itself");
        const std::string result = InChild([sudo] {
            if (sudo) {
                setenv("SUDO_UID", "65534", 1);
                setenv("SUDO_GID", "65534", 1);
            } else {
                unsetenv("SUDO_UID");
                unsetenv("SUDO_GID");
            }
            setenv("HOME", "/root", 1);
            setenv("XDG_CONFIG_HOME", "/root/.config", 1);
            setenv("XDG_RUNTIME_DIR", "/run/user/0", 1);
            const std::string error = DropPrivileges(RootStart::BecomeNobody);
            if (!error.empty()) {
                return error;
            }
            uid_t r = 0, e = 0, s = 0;
            getresuid(&r, &e, &s);
            if (r != Nobody || e != Nobody || s != Nobody) {
                return std::string("user IDs not all nobody");
            }
            gid_t gr = 0, ge = 0, gs = 0;
            getresgid(&gr, &ge, &gs);
            if (gr != Nobody || ge != Nobody || gs != Nobody) {
                return std::string("group IDs not all nogroup");
            }
            gid_t groups[64];
            const int n = getgroups(64, groups);
            for (int i = 0; i < n; ++i) {
                if (groups[i] == 0) {
                    return std::string("still in group root");
                }
            }
            if (setuid(0) == 0 || seteuid(0) == 0 || setgid(0) == 0) {
                return std::string("root came back");
            }
            if (AnyCapability()) {
                return std::string("capabilities left");
            }
            if (prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) != 1) {
                return std::string("no_new_privs not set");
            }
            for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
                const char* value = std::getenv(name);
                if (value != nullptr &&
                    (std::string(value).starts_with("/root") || std::string(value).ends_with("/0"))) {
                    return std::string(name) + " still points at root's folder";
                }
            }
            return std::string();
        });
        EXPECT_EQ(result, "");
    }
}

TEST(PortPermissions, RootItselfIsRefusedBeforeAnythingChanges)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    const std::string result = InChild([] {
        unsetenv("SUDO_UID");
        unsetenv("SUDO_GID");
        const std::string error = DropPrivileges(RootStart::Refuse);
        if (error != RootRefusal()) {
            return "no refusal: " + error;
        }
        if (geteuid() != 0 || prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) != 0) {
            return std::string("changed before refusing");
        }
        return std::string();
    });
    EXPECT_EQ(result, "");
}

TEST(PortPermissions, AFileCapabilityIsGivenUpAndTheUserKept)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to set up a capability";
    }
    const std::string result = InChild([] {
        // nobody with CAP_SYS_RAWIO, as a program with "setcap cap_sys_rawio+ep" runs.
        unsetenv("SUDO_UID");
        unsetenv("SUDO_GID");
        if (prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0) != 0 || setgroups(0, nullptr) != 0 ||
            setresgid(Nobody, Nobody, Nobody) != 0 || setresuid(Nobody, Nobody, Nobody) != 0) {
            return std::string("set-up failed");
        }
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
        data[0].effective = data[0].permitted = 1U << CAP_SYS_RAWIO;
        if (syscall(SYS_capset, &header, data) != 0 || !AnyCapability()) {
            return std::string("capability set-up failed");
        }
        const std::string error = DropPrivileges(RootStart::Refuse);
        if (!error.empty()) {
            return error;
        }
        if (AnyCapability()) {
            return std::string("CAP_SYS_RAWIO kept");
        }
        if (getuid() != Nobody || geteuid() != Nobody) {
            return std::string("user changed");
        }
        return std::string();
    });
    EXPECT_EQ(result, "");
}

TEST(PortPermissions, RefusesToGoOnWhenAnotherThreadWouldKeepThePrivileges)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    const std::string result = InChild([] {
        setenv("SUDO_UID", "65534", 1);
        setenv("SUDO_GID", "65534", 1);
        std::string error;
        std::thread other([] { pause(); });
        other.detach();
        error = DropPrivileges(RootStart::BecomeNobody);
        if (error.find("Threads") == std::string::npos) {
            return "no refusal: " + error;
        }
        return std::string();
    });
    EXPECT_EQ(result, "");
}

TEST(PortPermissions, WithoutPortAccessTheUserLearnsWhatToSetUp)
{
    if (!DirectPortIo::Supported()) {
        GTEST_SKIP() << "no port I/O on this platform";
    }
    // The child becomes nobody first, so the kernel refuses the ports and nothing is touched.
    std::string message;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string result = InChild([&] {
        close(fds[0]);
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0)) {
            return std::string("could not become nobody");
        }
        const auto ports = adapter::AllAdapterPorts();
        DirectPortIo io(ports);
        const PortAccessResult access = OpenPortsAndDropPrivileges(io);
        (void)!write(fds[1], access.portError.data(), access.portError.size());
        if (access.PortsOpen() || io.IsOpen()) {
            return std::string("ports granted to nobody");
        }
        return access.dropError;
    });
    close(fds[1]);
    char buf[2048];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) {
        message.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    EXPECT_EQ(result, "");
    // A kernel without ioperm is named as the cause instead of the rights.
    const bool noIoperm = message.find("ioperm fehlt") != std::string::npos;
    for (const char* part : {noIoperm ? "ioperm fehlt" : "Kein Zugriff auf die I/O-Ports",
                             "setcap cap_sys_rawio+ep", "sudo", "dialout"}) {
        EXPECT_NE(message.find(part), std::string::npos) << part << " missing in: " << message;
    }
}

} // namespace
} // namespace quav
