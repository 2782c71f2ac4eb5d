#pragma once

#include <string>
#include <string_view>

namespace quav {

/// Writing the program's output files without destroying what must not be destroyed.
///
/// Only a regular file is ever replaced, and only atomically: the bytes go to a new file
/// beside it, which takes the old file's place only when all of it has been written. A FIFO,
/// a terminal, a device or "-" (standard output) is written as a stream and never replaced.
/// Every failure comes back as false with a German message naming the file; the old file is
/// untouched then. The programs ignore SIGPIPE and SIGXFSZ, so that a closed pipe and the
/// file-size limit arrive here as write errors instead of ending the process.

/// Writes one output named by the user: "-" is standard output; a name that leads (also
/// through a symlink) to a FIFO, a device or this process's standard output is written as a
/// stream; anything else is created or atomically replaced at the place the name leads to.
/// `opened`, when given, tells whether the failure came after the file was opened.
bool WriteOutputFile(const std::string& path, std::string_view data, std::string& error,
                     bool* opened = nullptr);

/// Writes `name` into `folder`, a folder that others may write to as well (a shared sticky
/// folder): the name is never followed as a symlink, and an existing entry is replaced only
/// when it is a regular file of this user; anything else is refused with a message.
bool WriteIntoFolder(const std::string& folder, const std::string& name, std::string_view data,
                     std::string& error);

/// Writes all of `data` to an open file descriptor, resuming after signals and short writes.
/// False with errno set when the stream fails.
bool WriteAllTo(int fd, std::string_view data);

/// A German reason for an errno value of a failed write ("Der Datenträger ist voll.").
std::string WriteFailureReason(int errorNumber);

} // namespace quav
