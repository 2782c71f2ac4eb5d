#include "app/Viewer.h"

#include "ViewerBench.h"
#include "app/PageImageWidget.h"
#include "app/SingleInstance.h"
#include "sim/SimulatedBoard.h"
#include "support/ManualClock.h"
#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"

#include <fstream>
#include <thread>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTextBrowser>
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
    EXPECT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::State::ClaimPort);
    EXPECT_EQ(b.Main().TimerInterval(), 100);
    b.ShowPage100();
    EXPECT_EQ(b.Display(), "100");
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
    ASSERT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::State::EntryTimeout);
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
    EXPECT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::State::EntryTimeout);
}

TEST(ViewerDialogs, ClosingTheSettingsRestartsThePortClaim)
{
    ViewerBench b;
    b.ShowPage100();
    WhenModal([](QWidget* dialog) { dialog->close(); });
    b.Main().Konfig->trigger();
    EXPECT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::State::ClaimPort);
    EXPECT_EQ(b.Main().TimerInterval(), 100);
    EXPECT_TRUE(b.Main().TimerEnabled());
    b.Step();
    EXPECT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::State::Polling);
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

TEST(ViewerSlowBus, InputWaitsForThePageReadWhileTheSettingsAndClosingCutItShort)
{
    ViewerBench b;
    b.ShowPage100();
    b.viewer->Board()->SetPortDelay(std::chrono::microseconds(50)); // a page: about 2 s
    const auto startPageRead = [&b] {
        b.Main().ButHidden->click(); // the next poll reads the whole page again
        b.clock.Advance(std::chrono::milliseconds(b.Main().TimerInterval()));
        b.Main().Tim();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    };
    startPageRead();
    ASSERT_TRUE(b.Main().TickInFlight());
    QTest::keyClick(&b.Main(), '1');
    QTest::keyClick(&b.Main(), '2');
    QTest::keyClick(&b.Main(), '3');
    EXPECT_EQ(b.Display(), "100") << "typed input waits until the tick has ended";

    QElapsedTimer waited;
    qint64 dialogAfter = -1;
    WhenModal([&](QWidget* dialog) {
        dialogAfter = waited.elapsed();
        dialog->close();
    });
    waited.start();
    b.Main().Konfig->trigger();
    EXPECT_GE(dialogAfter, 0);
    EXPECT_LT(dialogAfter, 100);
    EXPECT_EQ(b.Display(), "123") << "the digits reached the cycle, in order, before the dialog";
    EXPECT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::State::ClaimPort);

    b.Main().show();
    b.Step();
    startPageRead();
    ASSERT_TRUE(b.Main().TickInFlight());
    // Closing cuts the page read short first (timed here), then closes the port.
    waited.restart();
    b.Main().MainEnd();
    EXPECT_LT(waited.elapsed(), 100);
    EXPECT_FALSE(b.Main().TickInFlight());
    b.Main().close();
    EXPECT_FALSE(b.viewer->Comm().IsOpen());
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

TEST(SingleInstance, ASecondStartActivatesTheFirstAndEnds)
{
    SingleInstance first(SingleInstance::NameFor(QStringLiteral("QUAV-Videotext")));
    ASSERT_TRUE(first.Listen());
    int activations = 0;
    first.onActivate = [&activations] { ++activations; };
    QProcess second;
    ScratchDirectory scratch;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Should the second start not find the first, it must not touch the user's settings.
    env.insert(QStringLiteral("QUAV_SETTINGS_FILE"), QString::fromStdString(scratch.File("QUAV.conf")));
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(QUAV_VIEWER_PATH), {});
    ASSERT_TRUE(second.waitForStarted(10000));
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
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(activations, 1);
}

} // namespace
} // namespace quav
