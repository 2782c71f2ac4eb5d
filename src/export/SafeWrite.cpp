#include "export/SafeWrite.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quav {

namespace {

/// Closes a descriptor when it goes out of scope.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int Get() const { return m_fd; }
    void Reset(int fd)
    {
        Close();
        m_fd = fd;
    }
    /// Closes now and reports whether the last buffered data got out (NFS reports late).
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0 || errno == EINTR;
    }

private:
    int m_fd;
};

std::string CannotWrite(const std::string& shown, int errorNumber)
{
    return "Die Datei \"" + shown + "\" kann nicht geschrieben werden: " + WriteFailureReason(errorNumber);
}

std::string TempName(const std::string& name, unsigned attempt)
{
    static std::atomic<unsigned> counter{0};
    const auto tick =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    return "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string((tick ^ attempt) % 1000000);
}

/// Creates `name` in the open folder `dirFd`, or replaces the regular file `old` there, by
/// way of a new file beside it and a rename. The rename replaces the folder entry itself,
/// so nothing planted under the name is ever written through.
bool ReplaceAt(int dirFd, const std::string& name, const struct stat* old, const std::string& shown,
               std::string_view data, std::string& error, bool* opened)
{
    std::string temp;
    Fd out;
    for (unsigned attempt = 0; attempt < 100 && out.Get() < 0; ++attempt) {
        temp = TempName(name, attempt);
        out.Reset(::openat(dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (out.Get() < 0 && errno != EEXIST) {
            error = CannotWrite(shown, errno);
            return false;
        }
    }
    if (out.Get() < 0) {
        error = CannotWrite(shown, EEXIST);
        return false;
    }
    if (opened) {
        *opened = true;
    }
    // A replaced file keeps its permissions; its contents must be on disk before the rename,
    // or a crash could leave an empty file where the old one was.
    const bool ok = (!old || ::fchmod(out.Get(), old->st_mode & 07777) == 0 || errno == EPERM) &&
                    WriteAllTo(out.Get(), data) && (!old || ::fsync(out.Get()) == 0 || errno == EINVAL) &&
                    out.Close() && ::renameat(dirFd, temp.c_str(), dirFd, name.c_str()) == 0;
    if (!ok) {
        const int failure = errno;
        ::unlinkat(dirFd, temp.c_str(), 0);
        error = CannotWrite(shown, failure);
        return false;
    }
    return true;
}

bool WriteStream(int fd, const std::string& shown, std::string_view data, std::string& error)
{
    if (!WriteAllTo(fd, data)) {
        error = CannotWrite(shown, errno);
        return false;
    }
    return true;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

bool WriteAllTo(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string WriteFailureReason(int errorNumber)
{
    switch (errorNumber) {
    case ENOSPC:
    case EDQUOT:
        return "Der Datenträger ist voll.";
    case EFBIG:
        return "Die Größenbegrenzung für Dateien ist erreicht.";
    case EPIPE:
        return "Der Empfänger hat die Verbindung beendet.";
    case EACCES:
    case EPERM:
    case EROFS:
        return "Zugriff verweigert.";
    case ENOENT:
    case ENOTDIR:
        return "Der Ordner gibt es nicht.";
    case EISDIR:
        return "Das ist ein Ordner.";
    case ELOOP:
        return "Der Name ist ein symbolischer Link.";
    default:
        return "Ein-/Ausgabefehler (" + std::to_string(errorNumber) + ").";
    }
}

bool WriteOutputFile(const std::string& path, std::string_view data, std::string& error, bool* opened)
{
    if (opened) {
        *opened = false;
    }
    if (path == "-") {
        if (opened) {
            *opened = true;
        }
        if (!WriteAllTo(STDOUT_FILENO, data)) {
            error = "Die Standardausgabe kann nicht geschrieben werden: " + WriteFailureReason(errno);
            return false;
        }
        return true;
    }
    struct stat target
    {
    };
    if (::stat(path.c_str(), &target) == 0) {
        struct stat standardOutput
        {
        };
        if (S_ISDIR(target.st_mode)) {
            error = CannotWrite(path, EISDIR);
            return false;
        }
        if (::fstat(STDOUT_FILENO, &standardOutput) == 0 && SameFile(target, standardOutput)) {
            // "/dev/stdout" or a name of the file the shell opened for us: the shell's
            // descriptor is the stream to write, replacing the file would cut it loose.
            if (opened) {
                *opened = true;
            }
            return WriteStream(STDOUT_FILENO, path, data, error);
        }
        if (!S_ISREG(target.st_mode)) {
            // A FIFO, a terminal or a device: written, never replaced, never created.
            Fd stream(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
            if (stream.Get() < 0) {
                error = CannotWrite(path, errno);
                return false;
            }
            if (opened) {
                *opened = true;
            }
            if (!WriteStream(stream.Get(), path, data, error)) {
                return false;
            }
            if (!stream.Close()) {
                error = CannotWrite(path, errno);
                return false;
            }
            return true;
        }
    } else if (errno != ENOENT) {
        error = CannotWrite(path, errno);
        return false;
    } else {
        struct stat link
        {
        };
        if (::lstat(path.c_str(), &link) == 0) {
            error = "Die Datei \"" + path + "\" ist ein symbolischer Link ohne Ziel.";
            return false;
        }
    }

    // A regular file or a new one, at the place the name leads to: a symlink the user named
    // stays and its target gets the new contents.
    std::string place = path;
    if (S_ISREG(target.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            place = resolved;
        }
    }
    const std::size_t slash = place.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : place.substr(0, slash));
    const std::string name = slash == std::string::npos ? place : place.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        error = CannotWrite(path, EISDIR);
        return false;
    }
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0) {
        error = CannotWrite(path, errno);
        return false;
    }
    struct stat old
    {
    };
    const bool exists = ::fstatat(dir.Get(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        // Changed since the first look: someone is playing with the folder.
        error = CannotWrite(path, EEXIST);
        return false;
    }
    return ReplaceAt(dir.Get(), name, exists ? &old : nullptr, path, data, error, opened);
}

bool WriteIntoFolder(const std::string& folder, const std::string& name, std::string_view data,
                     std::string& error)
{
    const std::string shown = folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0) {
        error = CannotWrite(shown, errno);
        return false;
    }
    struct stat old
    {
    };
    if (::fstatat(dir.Get(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(old.st_mode) || old.st_uid != ::geteuid()) {
            error = "Die Datei \"" + shown +
                    "\" wird nicht überschrieben: Sie ist keine gewöhnliche Datei dieses Benutzers.";
            return false;
        }
        return ReplaceAt(dir.Get(), name, &old, shown, data, error, nullptr);
    }
    if (errno != ENOENT) {
        error = CannotWrite(shown, errno);
        return false;
    }
    return ReplaceAt(dir.Get(), name, nullptr, shown, data, error, nullptr);
}

} // namespace quav
