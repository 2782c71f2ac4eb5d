#pragma once

#include "station/SharedOptions.h"

#include <string>

#include <QString>
#include <QStringList>

namespace quav {

/// What the command line asks for. With no options: the simulated board playing the
/// built-in demo service.
struct CommandLine
{
    enum class Action
    {
        Run,
        ShowHelp,
        ShowVersion,
        Fail,
    };

    Action action = Action::Run;
    /// "demo", or a T42 recording, a TTI file, a folder of TTI files, a transport stream,
    /// "-" (a transport stream on standard input) or a DVB demux device.
    QString source = QStringLiteral("demo");
    /// The teletext PID of a transport stream; -1: the first that PAT and PMT name.
    int pid = -1;
    bool hardware = false;
    /// What to print: the help or version text, or the error message.
    QString message;

    /// Exit code for Fail, and for a source that cannot be used.
    static constexpr int UsageError = 2;
    /// Exit code when a viewer runs already but does not take a later start's arguments.
    static constexpr int InstanceNotAnswering = 3;
    /// Exit code when the program was started as root itself, or cannot give up the rights
    /// it was started with.
    static constexpr int NoSafeRights = 4;

    /// `workingFolder`, when given, is where a relative source is looked for (the arguments
    /// of a later start, handed to the running viewer).
    static CommandLine Parse(const QStringList& arguments, const QString& workingFolder = {});
    static QString Usage();
};

} // namespace quav
