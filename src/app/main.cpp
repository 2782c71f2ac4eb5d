#include "app/AppInfo.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/Viewer.h"
#include "config/QuavError.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <time.h>
#include <unistd.h>

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
    QApplication app(argc, argv);
    const quav::CommandLine command = quav::CommandLine::Parse(app.arguments());
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

    // One viewer per user: a second start shows the first one and ends. The check comes
    // before this instance listens, so it never finds itself.
    quav::SingleInstance instance(quav::SingleInstance::NameFor(quav::app::Title()));
    if (instance.ActivateRunning()) {
        return 0;
    }
    QApplication::setApplicationName(quav::app::Title());
    QApplication::setApplicationVersion(quav::app::Version());

    quav::ViewerOptions options;
    options.source = command.source;
    options.hardware = command.hardware;
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
            std::fprintf(stderr, "QUAV_TRACE_STARTUP first-page-ms=%lld\n", quav::MillisecondsSinceProcessStart());
        };
    }
    main.show();
    if (!viewer->HardwareMessage().isEmpty()) {
        std::fprintf(stderr, "%s\n", viewer->HardwareMessage().toLocal8Bit().constData());
        QTimer::singleShot(0, &main, [&main, &viewer] {
            QMessageBox::warning(&main, quav::app::Title(), viewer->HardwareMessage());
        });
    }
    return QApplication::exec();
}
