#include "ports/PortPermissions.h"

#include "ports/DirectPortIo.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace quav {

namespace {

// Capability sets through the system calls themselves (version 3: two 32-bit words per
// set), so no extra library is needed.
struct CapabilitySets
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
};

bool ReadCapabilities(CapabilitySets& sets)
{
    return syscall(SYS_capget, &sets.header, sets.data) == 0;
}

bool HoldsCapabilities()
{
    CapabilitySets sets;
    if (!ReadCapabilities(sets)) {
        return true; // unknown counts as held: giving up what is not there does no harm
    }
    for (const auto& d : sets.data) {
        if (d.effective != 0 || d.permitted != 0 || d.inheritable != 0) {
            return true;
        }
    }
    return false;
}

int ClearCapabilities()
{
    CapabilitySets sets; // all three sets empty
    if (syscall(SYS_capset, &sets.header, sets.data) != 0) {
        return errno;
    }
    // Ambient capabilities would come back at the next exec; older kernels have none.
    if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL) {
        return errno;
    }
    return 0;
}

std::optional<std::string> Environment(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

std::size_t ThreadCount()
{
    std::error_code ec;
    std::size_t n = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/task", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        ++n;
    }
    return n;
}

std::string Failure(const char* what, int error)
{
    std::string text = what;
    text += " (";
    text += std::strerror(error);
    text += "). Aus Sicherheitsgründen wird das Programm beendet.";
    return text;
}

// HOME and the XDG folders of the new user `uid`, so that settings, caches and the
// single-instance socket land in that user's folders and not in root's. XDG folders set
// for someone else are dropped: the defaults under the new HOME apply then.
// A user without an entry in the user database (`home` null) gets "/" and no XDG folders.
void UseFoldersOf(uid_t uid, const char* home)
{
    setenv("HOME", home != nullptr ? home : "/", 1);
    const std::string inHome = home != nullptr ? std::string(home) + "/" : std::string();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && (inHome.empty() || std::string(value).rfind(inHome, 0) != 0)) {
            unsetenv(name);
        }
    }
    const std::string runtime = "/run/user/" + std::to_string(uid);
    struct stat st = {};
    if (::stat(runtime.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid) {
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR"); // the program falls back to a checked folder of its own
    }
}

// The invoking user's own groups, as at a login; just the one group when the user has no
// entry in the user database.
int SetGroupsOf(uid_t uid, gid_t gid)
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        if (initgroups(found->pw_name, gid) == 0) {
            UseFoldersOf(uid, found->pw_dir);
            setenv("USER", found->pw_name, 1);
            setenv("LOGNAME", found->pw_name, 1);
            return 0;
        }
    }
    UseFoldersOf(uid, nullptr);
    return setgroups(1, &gid) == 0 ? 0 : errno;
}

} // namespace

ProcessCredentials ProcessCredentials::Current()
{
    ProcessCredentials c;
    getresuid(&c.realUid, &c.effectiveUid, &c.savedUid);
    getresgid(&c.realGid, &c.effectiveGid, &c.savedGid);
    c.capabilities = HoldsCapabilities();
    c.sudoUid = Environment("SUDO_UID");
    c.sudoGid = Environment("SUDO_GID");
    // Only root goes on as nobody; nobody else needs the user database asked at start.
    const bool root = c.realUid == 0 || c.effectiveUid == 0 || c.savedUid == 0;
    if (const passwd* nobody = root ? getpwnam("nobody") : nullptr;
        nobody != nullptr && nobody->pw_uid != 0) {
        c.nobodyUid = nobody->pw_uid;
        c.nobodyGid = nobody->pw_gid;
    }
    return c;
}

std::optional<std::uint32_t> ParseId(const std::string& text)
{
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    // 4294967295 is (uid_t)-1, which the set*id calls take as "leave unchanged".
    if (value >= 0xFFFFFFFFULL) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

PrivilegeDropPlan PlanPrivilegeDrop(const ProcessCredentials& c, RootStart rootStart)
{
    using Action = PrivilegeDropPlan::Action;
    PrivilegeDropPlan plan;
    const bool rootSomewhere = c.realUid == 0 || c.effectiveUid == 0 || c.savedUid == 0;
    if (rootSomewhere) {
        if (c.realUid != 0) {
            // A set-user-ID root program: back to the user who started it.
            plan.action = Action::SwitchUser;
            plan.uid = c.realUid;
            plan.gid = c.realGid;
            return plan;
        }
        if (c.sudoUid) {
            const auto uid = ParseId(*c.sudoUid);
            const auto gid = c.sudoGid ? ParseId(*c.sudoGid) : std::nullopt;
            if (!uid || !gid) {
                plan.error = "Das Programm wurde mit sudo gestartet, aber SUDO_UID oder SUDO_GID fehlt "
                             "oder ist ungültig; der aufrufende Benutzer ist nicht bekannt, die Root-Rechte "
                             "lassen sich also nicht sicher abgeben. Das Programm wird beendet.";
                return plan;
            }
            if (*uid != 0) {
                plan.action = Action::SwitchUser;
                plan.uid = *uid;
                plan.gid = *gid;
                return plan;
            }
            // root itself used sudo: no other user to go back to
        }
        if (rootStart == RootStart::Refuse) {
            plan.error = RootRefusal();
            return plan;
        }
        plan.action = Action::SwitchUser;
        plan.uid = c.nobodyUid;
        plan.gid = c.nobodyGid;
        plan.notice = "Als root gestartet: das Programm arbeitet als Benutzer nobody weiter und legt "
                      "Dateien nur dort an, wo nobody schreiben darf.";
        return plan;
    }
    if (c.realGid != c.effectiveGid || c.realGid != c.savedGid) {
        plan.action = Action::SwitchUser; // a set-group-ID program
        plan.uid = c.realUid;
        plan.gid = c.realGid;
        return plan;
    }
    plan.action = c.capabilities ? Action::ClearCapabilities : Action::Nothing;
    return plan;
}

std::string RootRefusal()
{
    return "Das Programm läuft nicht als root, denn es liest Dateien aus fremder Hand. Bitte als "
           "normaler Benutzer starten. Für eine Videotext-Steckkarte mit sudo aus dem eigenen "
           "Benutzerkonto (dann gibt es die Root-Rechte gleich nach dem Öffnen der Ports ab) oder "
           "nach einmaligem \"sudo setcap cap_sys_rawio+ep\" für das Programm; das serielle Modul "
           "braucht nur die Gruppe dialout.";
}

std::string DropPrivileges(RootStart rootStart, std::string* notice)
{
    using Action = PrivilegeDropPlan::Action;
    const PrivilegeDropPlan plan = PlanPrivilegeDrop(ProcessCredentials::Current(), rootStart);
    if (!plan.error.empty()) {
        return plan.error;
    }
    if (notice != nullptr) {
        *notice = plan.notice;
    }
    if (plan.action != Action::Nothing && ThreadCount() > 1) {
        // Capabilities belong to each thread; another thread would keep them.
        return "Die Rechte lassen sich nicht mehr abgeben, weil schon weitere Threads laufen. "
               "Aus Sicherheitsgründen wird das Programm beendet.";
    }
    if (plan.action == Action::SwitchUser) {
        // Groups first, then the group, then the user: afterwards nothing else is allowed.
        if (const int e = SetGroupsOf(plan.uid, plan.gid); e != 0) {
            return Failure("Die Gruppen des Benutzers lassen sich nicht setzen", e);
        }
        if (setresgid(plan.gid, plan.gid, plan.gid) != 0) {
            return Failure("Die Gruppenrechte lassen sich nicht abgeben", errno);
        }
        if (setresuid(plan.uid, plan.uid, plan.uid) != 0) {
            return Failure("Die Root-Rechte lassen sich nicht abgeben", errno);
        }
    }
    if (plan.action != Action::Nothing) {
        if (const int e = ClearCapabilities(); e != 0) {
            return Failure("Die Fähigkeiten (Capabilities) des Programms lassen sich nicht abgeben", e);
        }
    }
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        return Failure("Das Programm kann sich nicht gegen neue Rechte sperren", errno);
    }

    // Check the result rather than trust it.
    uid_t ruid = 0, euid = 0, suid = 0;
    gid_t rgid = 0, egid = 0, sgid = 0;
    getresuid(&ruid, &euid, &suid);
    getresgid(&rgid, &egid, &sgid);
    if (plan.action == Action::SwitchUser) {
        if (ruid != plan.uid || euid != plan.uid || suid != plan.uid || rgid != plan.gid ||
            egid != plan.gid || sgid != plan.gid) {
            return Failure("Benutzer und Gruppe stimmen nach dem Abgeben der Rechte nicht", EPERM);
        }
        if (plan.uid != 0 && (setuid(0) == 0 || seteuid(0) == 0)) {
            return Failure("Die Root-Rechte ließen sich zurückholen", EPERM);
        }
    }
    if (plan.action != Action::Nothing && HoldsCapabilities()) {
        return Failure("Das Programm hat nach dem Abgeben noch Fähigkeiten (Capabilities)", EPERM);
    }
    if (prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) != 1) {
        return Failure("Die Sperre gegen neue Rechte ist nicht gesetzt", EPERM);
    }
    return {};
}

std::string PortAccessHelp()
{
    std::error_code ec;
    std::string program = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    if (ec || program.empty()) {
        program = "/usr/bin/quav-videotext";
    }
    return "Der direkte Zugriff auf eine Videotext-Steckkarte braucht die Fähigkeit CAP_SYS_RAWIO. "
           "Einmalig einrichten mit\n    sudo setcap cap_sys_rawio+ep " +
           program +
           "\noder das Programm mit sudo starten (sudo quav-videotext --hardware). In beiden Fällen gibt "
           "es alle Rechte ab, sobald die Ports der Karte geöffnet sind. Das PC-Videotextmodul an der "
           "seriellen Schnittstelle braucht keine besonderen Rechte, nur Zugriff auf die Schnittstelle "
           "(Gruppe dialout).";
}

PortAccessResult OpenPortsAndDropPrivileges(DirectPortIo& io)
{
    PortAccessResult result;
    result.portError = io.Open();
    if (!result.portError.empty()) {
        result.portError += "\n\n" + PortAccessHelp();
    }
    result.dropError = DropPrivileges(RootStart::Refuse);
    return result;
}

} // namespace quav
