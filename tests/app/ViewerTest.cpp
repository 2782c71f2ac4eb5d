#include "app/Viewer.h"

#include "ViewerBench.h"
#include "app/CommandLine.h"
#include "app/PageImageWidget.h"
#include "app/SingleInstance.h"
#include "sim/SimulatedBoard.h"
#include "support/ManualClock.h"
#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTextBrowser>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace quav {
namespace {

using namespace test;

// Runs `check` on the modal dialog as soon as it is shown, then lets `finish` close it.
void WhenModal(std::function<void(QWidget*)> act)
{
    QTimer::singleShot(0, [act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        act(modal);
    });
}

TEST(ViewerStart, FirstRunShowsTheSettingsBeforeAnyHardwareAccessAndSavesThem)
{
    ViewerBench b(false);
    std::uint64_t accesses = 99;
    bool shown = false;
    WhenModal([&](QWidget* dialog) {
        shown = dialog == &b.viewer->Setup();
        accesses = b.viewer->Board()->PortAccesses();
        dialog->close();
    });
    b.Step();
    EXPECT_TRUE(shown);
    EXPECT_EQ(accesses, 0u);
    QSettings saved(b.settingsFile, QSettings::IniFormat);
    EXPECT_EQ(saved.value(QStringLiteral("Config")).toString(), QStringLiteral("11"));
    EXPECT_EQ(saved.value(QStringLiteral("Hardware/I2cDelay")).toString(), QStringLiteral("200"));
    EXPECT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::ClaimPort);
    EXPECT_EQ(b.Main().TimerInterval(), 100);
    b.ShowPage100();
    EXPECT_EQ(b.Display(), "100");
}

TEST(ViewerStart, AFirstRunWhoseSettingsCannotBeSavedGoesOnWithTheDialogsValues)
{
    ViewerBench b(false);
    // Leading where nothing can be written, not even by root.
    QFile::remove(b.settingsFile);
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/quav-nowhere/QUAV.conf"), b.settingsFile));
    QStringList errors;
    b.viewer->Setup().showError = [&errors](const QString& message) { errors << message; };
    bool closed = false;
    WhenModal([&](QWidget* dialog) {
        b.viewer->Setup().DelConst->setText(QStringLiteral("300"));
        dialog->close();
        closed = !dialog->isVisible();
    });
    b.Step();
    EXPECT_TRUE(closed) << "the dialog closes although the save failed";
    EXPECT_EQ(b.viewer->CurrentSettings().I2cDelay, 300);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(b.settingsFile)) << errors[0].toStdString();
    b.ShowPage100();
    EXPECT_EQ(b.Display(), "100") << "the program goes on";
}

TEST(ViewerStart, CommandsAreEnabledByTheFirstTick)
{
    ViewerBench b;
    EXPECT_FALSE(b.Main().ButSaveGraph->isEnabled());
    EXPECT_FALSE(b.Main().GraphToClip->isEnabled());
    EXPECT_FALSE(b.viewer->PrintPanel().Print->isEnabled());
    EXPECT_EQ(b.Main().windowTitle(), QStringLiteral("QUAV-Videotext 1.0"));
    b.Step();
    for (QToolButton* button :
         {b.Main().ButSaveGraph, b.Main().ButSaveText, b.Main().ButCopyGraph, b.Main().ButCopyText}) {
        EXPECT_TRUE(button->isEnabled()) << button->toolTip().toStdString();
    }
    for (QAction* action :
         {b.Main().SaveGraph, b.Main().SaveText, b.Main().GraphToClip, b.Main().TextToClip}) {
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    }
    EXPECT_TRUE(b.viewer->PrintPanel().Print->isEnabled());
}

TEST(ViewerPages, TypedDigitsAndKeypadClicksSelectPages)
{
    ViewerBench b;
    b.ShowPage100();
    ASSERT_EQ(b.Display(), "100");
    QTest::keyClick(&b.Main(), '1');
    EXPECT_EQ(b.Display(), "1--");
    QTest::keyClick(b.Main().Image1, '2'); // whichever control has the focus
    EXPECT_EQ(b.Display(), "12-");
    QTest::keyClick(&b.Main(), '3');
    EXPECT_EQ(b.Display(), "123");
    b.StepUntil([&b] {
        const auto& rows = b.viewer->DecoderOps().PageRows();
        return std::string(rows.begin() + 40, rows.begin() + 49) == "Seite 123";
    });
    EXPECT_EQ(b.Display(), "123");

    b.Main().DigitButtons[2]->click();
    b.Main().DigitButtons[5]->click();
    b.Main().DigitButtons[0]->click();
    EXPECT_EQ(b.Display(), "250");
    b.Main().ButPlus->click();
    EXPECT_EQ(b.Main().Cycle().PageNumber(), "251");
    b.Main().But100->click();
    EXPECT_EQ(b.Main().Cycle().PageNumber(), "100");
    EXPECT_FALSE(b.Main().ButTop->isVisible());
}

TEST(ViewerPages, AClickOnANumberInThePageSelectsIt)
{
    ViewerBench b;
    b.ShowPage100();
    // Row 1 reads "Index: Nachrichten 123, Sport 250": 123 stands in columns 19 to 21.
    QTest::mouseClick(b.Main().Image1, Qt::LeftButton, {}, QPoint(20 * 10 + 4, 13 + 6));
    EXPECT_EQ(b.Main().Cycle().PageNumber(), "123");
    EXPECT_TRUE(b.Main().Cycle().RequestPending());
}

TEST(ViewerDialogs, TheAboutBoxShowsItsTextsAndKeepsTheCycleWaiting)
{
    ViewerBench b;
    b.ShowPage100();
    QTest::keyClick(&b.Main(), '4'); // the cycle waits in its entry pause
    b.Step();
    ASSERT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::EntryTimeout);
    QString prog, vers;
    bool timerDuringBox = true;
    WhenModal([&](QWidget*) {
        prog = b.viewer->Info().Prog->text();
        vers = b.viewer->Info().Vers->text();
        timerDuringBox = b.Main().TimerEnabled();
        b.viewer->Info().Button1->click();
    });
    b.Main().Info1->trigger();
    EXPECT_EQ(prog, QStringLiteral("QUAV-Videotext"));
    EXPECT_EQ(vers, QStringLiteral("Version 1.0"));
    EXPECT_FALSE(timerDuringBox);
    EXPECT_TRUE(b.Main().TimerEnabled());
    EXPECT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::EntryTimeout);
}

TEST(ViewerDialogs, ClosingTheSettingsRestartsThePortClaim)
{
    ViewerBench b;
    b.ShowPage100();
    WhenModal([](QWidget* dialog) { dialog->close(); });
    b.Main().Konfig->trigger();
    EXPECT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::ClaimPort);
    EXPECT_EQ(b.Main().TimerInterval(), 100);
    EXPECT_TRUE(b.Main().TimerEnabled());
    b.Step();
    EXPECT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::Polling);
    EXPECT_TRUE(b.viewer->Comm().IsOpen());
}

TEST(ViewerShutdown, EveryWayOutClosesThePortThroughTheSameHandlers)
{
    const std::vector<std::pair<const char*, std::function<void(TMain&)>>> ways = {
        {"Alt+F4", [](TMain& m) { QTest::keyClick(&m, Qt::Key_F4, Qt::AltModifier); }},
        {"Beenden", [](TMain& m) { m.Beenden1->trigger(); }},
        {"exit button", [](TMain& m) { m.ButExit->click(); }},
        {"close box", [](TMain& m) { m.close(); }},
    };
    for (const auto& [name, way] : ways) {
        SCOPED_TRACE(name);
        ViewerBench b;
        b.Main().show();
        b.Step();
        b.Step();
        ASSERT_TRUE(b.viewer->Comm().IsOpen()) << "the serial module's port is claimed";
        b.viewer->Help().ShowContext(1);
        way(b.Main());
        EXPECT_FALSE(b.viewer->Comm().IsOpen());
        EXPECT_FALSE(b.Main().TimerEnabled());
        EXPECT_FALSE(b.Main().isVisible());
        EXPECT_FALSE(b.viewer->Help().isVisible()) << "the help is told to quit";
    }
}

TEST(ViewerHelp, EachContextOpensItsPage)
{
    ViewerBench b;
    b.Main().HilfezuQUAVVideotext1->trigger();
    EXPECT_TRUE(b.viewer->Help().isVisible());
    EXPECT_TRUE(b.viewer->Help().Browser()->toPlainText().contains(QStringLiteral("Seiten wählen")));
    b.viewer->Setup().ButHelpClick();
    EXPECT_TRUE(b.viewer->Help().Browser()->toPlainText().contains(QStringLiteral("I2c-Delay")));
    b.viewer->PrintPanel().HelpClick();
    EXPECT_TRUE(b.viewer->Help().Browser()->toPlainText().contains(QStringLiteral("Druckvorschau")));
    b.viewer->Help().Quit();
}

QString OwnInstanceName(const char* what)
{
    return QStringLiteral("quav-test-%1-%2").arg(QLatin1String(what)).arg(QCoreApplication::applicationPid());
}

/// Removes a test instance's lock and socket files when the test ends.
struct InstanceFiles
{
    explicit InstanceFiles(const QString& instanceName) : name(instanceName) {}
    ~InstanceFiles()
    {
        const QString folder = SingleInstance::RuntimeFolder();
        QFile::remove(folder + QStringLiteral("/") + name + QStringLiteral(".lock"));
        QFile::remove(folder + QStringLiteral("/") + name + QStringLiteral(".socket"));
    }
    QString name;
};

TEST(SingleInstance, TheLockDecidesWhoIsFirstAndDiesWithItsHolder)
{
    const QString name = OwnInstanceName("lock");
    const InstanceFiles cleanup(name);
    auto first = std::make_unique<SingleInstance>(name);
    SingleInstance second(name);
    EXPECT_EQ(first->ClaimFirst(), SingleInstance::Claim::First);
    EXPECT_EQ(second.ClaimFirst(), SingleInstance::Claim::Second);
    EXPECT_FALSE(second.Listen()) << "a later start never takes the socket";
    ASSERT_TRUE(first->Listen());
    first.reset(); // the holder ends: the system lets go of the lock
    EXPECT_EQ(second.ClaimFirst(), SingleInstance::Claim::First);
    EXPECT_TRUE(second.Listen()) << "the dead holder's socket file is taken over";

    // The fallback runtime folder: only a private folder of the user is used.
    ScratchDirectory scratch;
    struct Case
    {
        const char* what;
        std::function<void(const std::string&)> prepare;
        bool usable;
    };
    const std::vector<Case> cases{
        {"missing: created", [](const std::string&) {}, true},
        {"a symlink to a private folder",
         [&](const std::string& at) {
             ::mkdir(scratch.File("real").c_str(), 0700);
             ::symlink(scratch.File("real").c_str(), at.c_str());
         },
         false},
        {"open to others",
         [](const std::string& at) { ::mkdir(at.c_str(), 0777), ::chmod(at.c_str(), 0777); }, false},
        {"a file", [](const std::string& at) { std::ofstream(at) << "x"; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string at = scratch.File(std::string("rt-") + std::to_string(&c - cases.data()));
        c.prepare(at);
        QString error;
        EXPECT_EQ(SingleInstance::PrivateFolder(QString::fromStdString(at), &error), c.usable)
            << error.toStdString();
        EXPECT_EQ(error.isEmpty(), c.usable);
    }
    if (::geteuid() == 0) {
        const std::string other = scratch.File("other");
        ::mkdir(other.c_str(), 0700);
        ASSERT_EQ(::chown(other.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(SingleInstance::PrivateFolder(QString::fromStdString(other))) << "another user's folder";
    }
}

TEST(SingleInstance, ALaterStartHandsItsSourceToABusyFirstOne)
{
    const QString name = OwnInstanceName("handover");
    const InstanceFiles cleanup(name);
    SingleInstance first(name);
    ASSERT_TRUE(first.Listen());
    QStringList received;
    QString receivedFolder;
    first.onHandOver = [&](const QString& folder, const QStringList& arguments) {
        receivedFolder = folder;
        received = arguments;
        return QStringLiteral("Neue Quelle: x");
    };
    ScratchDirectory scratch;
    const std::string odd = "seite-\xE4.tti"; // a name that is no valid UTF-8
    std::ofstream(scratch.File(odd)) << "PN,10000\nOL,1,x\n";
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUAV_INSTANCE_NAME"), name);
    // Should the second start not find the first, it must not touch the user's settings.
    env.insert(QStringLiteral("QUAV_SETTINGS_FILE"), QString::fromStdString(scratch.File("QUAV.conf")));
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(QString::fromStdString(scratch.File("")));
    // Through the shell, since QProcess cannot pass bytes that are no valid UTF-8.
    second.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"),
                  QStringLiteral("exec \"$0\" --source \"$(printf 'seite-\\344.tti')\""),
                  QStringLiteral(QUAV_VIEWER_PATH)});
    ASSERT_TRUE(second.waitForStarted(10000));
    QThread::msleep(1500); // the first one is busy and does not answer for a while
    QElapsedTimer waited;
    waited.start();
    while (second.state() != QProcess::NotRunning && waited.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    if (second.state() != QProcess::NotRunning) {
        second.kill();
        second.waitForFinished(5000);
        FAIL() << "the second start did not end";
    }
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(second.readAllStandardError().contains("Neue Quelle: x"))
        << "the later start hears the outcome";
    ASSERT_EQ(received.size(), 2);
    EXPECT_EQ(ArgumentBytes(received[1]), odd) << "every byte of the name arrives";
    EXPECT_EQ(ArgumentBytes(receivedFolder), scratch.File("").substr(0, scratch.File("").size() - 1));
    EXPECT_TRUE(QFileInfo::exists(first.SocketPath())) << "the busy first one keeps its socket";
}

TEST(SingleInstance, TheRunningViewerSaysWhatItDidWithALaterStart)
{
    ViewerBench b;
    const std::string odd = "seite-\xE4.tti";
    std::ofstream(b.scratch.File(odd)) << "PN,10000\nOL,1,x\n";
    const QString folder = QString::fromStdString(b.scratch.File(""));
    struct Case
    {
        QStringList arguments;
        const char* status;
    };
    const std::vector<Case> cases{
        {{QStringLiteral("--source"), ArgumentText(odd.c_str())}, "Neue Quelle: "},
        {{QStringLiteral("--source"), QStringLiteral("fehlt.t42")}, "Zweiter Start ignoriert: Die Quelle"},
        {{QStringLiteral("--hardware")}, "--hardware wurde ignoriert"},
        {{QStringLiteral("--bunt")}, "Zweiter Start ignoriert: Unbekannte Option"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const QString done = b.viewer->LaterStart(folder, c.arguments);
        EXPECT_TRUE(done.startsWith(QString::fromUtf8(c.status))) << done.toStdString();
        EXPECT_TRUE(b.Main().StatusText(0).startsWith(QString::fromUtf8(c.status))) << "in the status bar";
    }
    EXPECT_TRUE(b.viewer->LaterStart(folder, {}).isEmpty()) << "a plain later start only shows the window";
}

} // namespace
} // namespace quav
