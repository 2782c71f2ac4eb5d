#include "app/AppInfo.h"
#include "app/CommandLine.h"
#include "app/HardwarePortIo.h"
#include "app/SingleInstance.h"
#include "app/Viewer.h"
#include "config/QuavError.h"
#include "ports/DirectPortIo.h"
#include "ports/PortPermissions.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace quav {

// Milliseconds since the kernel started this process (start time from /proc/self/stat).
long long MillisecondsSinceProcessStart()
{
    std::ifstream statFile("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    const auto close = stat.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    // Fields after the command name start at field 3; the start time is field 22.
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    const long long startTicks = std::stoll(field);
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const long long nowMs = now.tv_sec * 1000LL + now.tv_nsec / 1000000;
    return nowMs - startTicks * 1000LL / sysconf(_SC_CLK_TCK);
}

} // namespace quav

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const quav::CommandLine command = quav::CommandLine::Parse(arguments);
    switch (command.action) {
    case quav::CommandLine::Action::ShowHelp:
    case quav::CommandLine::Action::ShowVersion:
        std::fputs(command.message.toLocal8Bit().constData(), stdout);
        return 0;
    case quav::CommandLine::Action::Fail:
        std::fputs(command.message.toLocal8Bit().constData(), stderr);
        return quav::CommandLine::UsageError;
    case quav::CommandLine::Action::Run:
        break;
    }

    // The card adapters need direct port access. It is asked for now, while the program is
    // still single-threaded, and every privilege is given up right after, before any
    // window or thread exists.
    std::unique_ptr<quav::DirectPortIo> cardPorts;
    QString portMessage;
    if (command.hardware) {
        const auto ports = quav::HardwarePortIo::CardPorts();
        cardPorts = std::make_unique<quav::DirectPortIo>(ports);
        const quav::PortAccessResult access = quav::OpenPortsAndDropPrivileges(*cardPorts);
        if (!access.dropError.empty()) {
            std::fprintf(stderr, "%s\n", access.dropError.c_str());
            return 1;
        }
        portMessage = QString::fromStdString(access.portError);
    }

    QApplication app(argc, argv);

    // One viewer per user: a second start shows the first one and ends. The check comes
    // before this instance listens, so it never finds itself.
    quav::SingleInstance instance(quav::SingleInstance::NameFor(quav::app::Title()));
    if (instance.ActivateRunning()) {
        return 0;
    }
    // The windows are laid out to the pixel, as on the classic desktop they were drawn
    // for: the classic style and a small sans-serif font keep every caption in its place.
    QApplication::setStyle(QStringLiteral("Windows"));
    QApplication::setFont(quav::app::ClassicFont());
    QApplication::setApplicationName(quav::app::Title());
    QApplication::setApplicationVersion(quav::app::Version());

    quav::ViewerOptions options;
    options.source = command.source;
    options.pid = command.pid;
    options.hardware = command.hardware;
    options.cardPorts = cardPorts.get();
    options.settingsFile = qEnvironmentVariable("QUAV_SETTINGS_FILE");
    std::unique_ptr<quav::Viewer> viewer;
    try {
        viewer = std::make_unique<quav::Viewer>(options);
    } catch (const quav::QuavError& e) {
        std::fprintf(stderr, "%s\n", e.Message().toLocal8Bit().constData());
        return quav::CommandLine::UsageError;
    }
    instance.Listen();
    quav::TMain& main = viewer->Main();
    instance.onActivate = [&main] {
        if (main.isMinimized()) {
            main.showNormal();
        } else {
            main.raise();
            main.activateWindow();
        }
    };
    if (qEnvironmentVariableIsSet("QUAV_TRACE_STARTUP")) {
        // For measuring the start: the time from the process start to the first page.
        viewer->onFirstPage = [] {
            std::fprintf(stderr, "QUAV_TRACE_STARTUP first-page-ms=%lld\n",
                         quav::MillisecondsSinceProcessStart());
        };
    }
    main.show();
    if (!portMessage.isEmpty()) {
        // Without port access the cards cannot be reached; the serial module still can.
        std::fprintf(stderr, "%s\n", portMessage.toLocal8Bit().constData());
        QTimer::singleShot(0, &main, [&main, portMessage] { main.ShowPaused(portMessage); });
    }
    return QApplication::exec();
}
