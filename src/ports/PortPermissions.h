#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace quav {

class DirectPortIo;

/// Who the process is, as far as giving up privileges is concerned.
struct ProcessCredentials
{
    uid_t realUid = 0;
    uid_t effectiveUid = 0;
    uid_t savedUid = 0;
    gid_t realGid = 0;
    gid_t effectiveGid = 0;
    gid_t savedGid = 0;
    /// True when the process holds any capability (effective or permitted).
    bool capabilities = false;
    /// The values of SUDO_UID and SUDO_GID, when set.
    std::optional<std::string> sudoUid;
    std::optional<std::string> sudoGid;
    /// The account a root login falls back to (nobody and its group, nogroup).
    uid_t nobodyUid = 65534;
    gid_t nobodyGid = 65534;

    /// The credentials of this process and its environment.
    static ProcessCredentials Current();
};

/// What a program does when root itself started it, not a user through sudo: there is no
/// user to go back to.
enum class RootStart
{
    Refuse,       ///< end with a message: nothing may run as root
    BecomeNobody, ///< go on as the account nobody
};

/// What giving up privileges means for a process.
struct PrivilegeDropPlan
{
    enum class Action
    {
        Nothing,           ///< an ordinary user without capabilities: nothing to give up
        ClearCapabilities, ///< keep the user, give up every capability (setcap)
        SwitchUser,        ///< become another user: the one who started the program, or nobody
    };
    Action action = Action::Nothing;
    uid_t uid = 0;
    gid_t gid = 0;
    /// Set when there is no safe way on; a German message. The program must not go on.
    std::string error;
    /// Set when root itself goes on as nobody: a German note for the user.
    std::string notice;
};

/// Decides how to give up privileges. Root started through sudo goes back to
/// the invoking user, a set-user-ID or set-group-ID program to the real user and group; a
/// process with file capabilities keeps its user and only loses them. Root itself (a root
/// login, or root using sudo) is refused or becomes nobody, as `rootStart` says: nothing is
/// ever left running as root. Pure function.
PrivilegeDropPlan PlanPrivilegeDrop(const ProcessCredentials& credentials, RootStart rootStart);

/// The German refusal for a start as root itself.
std::string RootRefusal();

/// A user or group number as sudo puts it in the environment: decimal digits only, no
/// sign, and not the "no user" value -1. Nothing for anything else.
std::optional<std::uint32_t> ParseId(const std::string& text);

/// Gives up every privilege of the process for good, as the plan for the current
/// credentials says: supplementary groups, group and user IDs (real, effective, saved),
/// every capability, and the right to gain new ones through exec (no_new_privs). Then it
/// checks that root cannot be regained. Port permissions granted by ioperm survive this.
///
/// Must run before the process starts a second thread: capabilities belong to each thread.
/// Returns an empty string on success, otherwise a German message; the program must not go
/// on after a failure, since it may still hold privileges.
///
/// After a change of user, HOME, USER and LOGNAME are the new user's, XDG folders that
/// point elsewhere are removed (the user's defaults apply) and XDG_RUNTIME_DIR names the
/// user's own runtime folder, when there is one.
/// `notice`, when given, receives the plan's note for the user (see PrivilegeDropPlan).
std::string DropPrivileges(RootStart rootStart, std::string* notice = nullptr);

/// What --hardware with a card adapter achieved before the window opens.
struct PortAccessResult
{
    /// Empty when the kernel granted exactly the adapter ports; otherwise a German message
    /// that says what is missing and how to set it up.
    std::string portError;
    /// Empty when every privilege was given up; otherwise a German message. The program
    /// must end then.
    std::string dropError;

    bool PortsOpen() const { return portError.empty(); }
};

/// Asks the kernel for exactly the ports of `io` and then gives up every privilege, in
/// that order (the permission outlives the privileges). Privileges are given up also when
/// the ports are refused. Root itself is refused (RootStart::Refuse): the ports are a
/// reason for sudo, not for running as root. Single-threaded start-up only, see
/// DropPrivileges.
PortAccessResult OpenPortsAndDropPrivileges(DirectPortIo& io);

/// The German explanation of how to give the program port access.
std::string PortAccessHelp();

} // namespace quav
