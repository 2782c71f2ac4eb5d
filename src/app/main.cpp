#include "app/AppInfo.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/Viewer.h"
#include "config/QuavError.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

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
    main.show();
    if (!viewer->HardwareMessage().isEmpty()) {
        std::fprintf(stderr, "%s\n", viewer->HardwareMessage().toLocal8Bit().constData());
        QTimer::singleShot(0, &main, [&main, &viewer] {
            QMessageBox::warning(&main, quav::app::Title(), viewer->HardwareMessage());
        });
    }
    return QApplication::exec();
}
