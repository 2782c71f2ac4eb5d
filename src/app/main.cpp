#include "app/AppInfo.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/Viewer.h"
#include "config/QuavError.h"
#include "config/Translations.h"
#include "ports/DirectPortIo.h"
#include "ports/PortPermissions.h"
#include "station/Station.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
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
    // A save into a closed FIFO or over the file-size limit fails with a message box
    // instead of ending the viewer.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << quav::ArgumentText(argv[i]);
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
    // window or thread exists. Without cards the privileges go at once. Root itself (no
    // sudo) goes on as nobody, which has no home: its settings are kept in a private folder
    // of its own, so a start as root works and still never shows a window as root.
    std::unique_ptr<quav::DirectPortIo> cardPorts;
    QString portMessage;
    bool rootItself = false;
    {
        QString error;
        if (command.hardware) {
            if (!quav::Station::OpenCardPorts(cardPorts, &portMessage, &error)) {
                std::fprintf(stderr, "quav-videotext: %s\n", error.toLocal8Bit().constData());
                return quav::CommandLine::NoSafeRights;
            }
        } else if (const std::string dropError = quav::DropPrivileges(quav::RootStart::Refuse);
                   !dropError.empty()) {
            // Root itself: nothing has been changed yet (see below).
            rootItself = dropError == quav::RootRefusal();
            if (!rootItself) {
                std::fprintf(stderr, "quav-videotext: %s\n", dropError.c_str());
                return quav::CommandLine::NoSafeRights;
            }
        }
    }

    // A later start hands its arguments to the first viewer and ends.
    const auto handOver = [&](quav::SingleInstance& first) {
        QCoreApplication app(argc, argv);
        QString answer;
        if (!first.HandOver(arguments.mid(1), 15000, &answer)) {
            std::fprintf(stderr, "quav-videotext: Ein QUAV-Videotext läuft schon, antwortet aber nicht.\n");
            return int(quav::CommandLine::InstanceNotAnswering);
        }
        if (!answer.isEmpty()) {
            std::fprintf(stderr, "quav-videotext: %s\n", answer.toLocal8Bit().constData());
        }
        return 0;
    };

    if (rootItself) {
        // A start as root may still hand its arguments to a viewer that answers as root, since
        // that reads and shows nothing. Otherwise it goes on as nobody, which has no home: the
        // settings then live in nobody's private runtime folder.
        {
            quav::SingleInstance asRoot(quav::SingleInstance::NameFor(quav::app::Title()));
            if (asRoot.ClaimFirst() == quav::SingleInstance::Claim::Second) {
                return handOver(asRoot);
            }
        }
        std::string notice;
        if (const std::string dropError = quav::DropPrivileges(quav::RootStart::BecomeNobody, &notice);
            !dropError.empty()) {
            std::fprintf(stderr, "quav-videotext: %s\n", dropError.c_str());
            return quav::CommandLine::NoSafeRights;
        }
        std::fprintf(stderr, "quav-videotext: %s\n", notice.c_str());
        const QString folder = quav::SingleInstance::RuntimeFolder();
        if (!folder.isEmpty() && qEnvironmentVariableIsEmpty("QUAV_SETTINGS_FILE")) {
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder + QStringLiteral("/config")));
        }
    }

    // One viewer per user, decided before the window is built. It comes after the
    // privileges are given up, so that under sudo the lock and the socket are the invoking
    // user's.
    quav::SingleInstance instance(quav::SingleInstance::NameFor(quav::app::Title()));
    QString instanceError;
    const quav::SingleInstance::Claim claim = instance.ClaimFirst(&instanceError);
    if (claim == quav::SingleInstance::Claim::Second) {
        return handOver(instance);
    }
    if (claim == quav::SingleInstance::Claim::Failed) {
        std::fprintf(stderr, "quav-videotext: %s Ein zweiter Start wird nicht erkannt.\n",
                     instanceError.toLocal8Bit().constData());
    }

    QApplication app(argc, argv);

    // The windows are laid out to the pixel, as on the classic desktop they were drawn
    // for: the classic style and a small sans-serif font keep every caption in its place.
    QApplication::setStyle(QStringLiteral("Windows"));
    QApplication::setFont(quav::app::ClassicFont());
    quav::InstallGermanTranslations(app);
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
    quav::TMain& main = viewer->Main();
    quav::Viewer& running = *viewer;
    instance.onHandOver = [&main, &running](const QString& folder, const QStringList& later) {
        if (main.isMinimized()) {
            main.showNormal();
        } else {
            main.raise();
            main.activateWindow();
        }
        return running.LaterStart(folder, later);
    };
    if (claim == quav::SingleInstance::Claim::First && !instance.Listen(&instanceError)) {
        std::fprintf(stderr, "quav-videotext: %s Ein zweiter Start wird nicht erkannt.\n",
                     instanceError.toLocal8Bit().constData());
    }
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
