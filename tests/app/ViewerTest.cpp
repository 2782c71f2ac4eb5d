#include "app/Viewer.h"

#include "ViewerBench.h"
#include "app/CommandLine.h"
#include "app/PageImageWidget.h"
#include "app/SingleInstance.h"
#include "cap/CaptureOptions.h"
#include "sim/SimulatedBoard.h"
#include "support/ManualClock.h"
#include "support/NamedControl.h"
#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"

#include <fstream>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
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

// Pages 100 and 123 in turn, a filler header after each pair: page 100 with the given rows
// 1 and 2 (row 1 left as the test page has it when empty), page 123 with "Seite 123".
std::vector<Packet> TwoPageService(const std::string& row1, const std::string& row2)
{
    std::vector<Packet> service;
    for (int k = 0; k < 300; ++k) {
        packets::TestPage p100;
        if (!row1.empty()) {
            p100.rows[1] = row1;
        }
        p100.rows[2] = row2;
        packets::TestPage p123;
        p123.number = "123";
        p123.rows[1] = "Seite 123";
        for (const auto& p : {p100, p123}) {
            const auto packets = p.Packets();
            service.insert(service.end(), packets.begin(), packets.end());
        }
        service.push_back(packets::Header("1FF", 0, packets::ClockText("QUAV-Test", k)));
    }
    return service;
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

TEST(ViewerStart, AFirstRunWhoseSettingsCannotBeSavedGoesOnWithTheDialogsValues)
{
    ViewerBench b(false);
    // Leading where nothing can be written, not even by root.
    QFile::remove(b.settingsFile);
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/quav-nowhere/QUAV.conf"), b.settingsFile));
    bool closed = false;
    WhenModal([&](QWidget* dialog) {
        test::Named<QLineEdit>(b.viewer->Setup(), "DelConst")->setText(QStringLiteral("300"));
        dialog->close();
        closed = !dialog->isVisible();
    });
    b.Step();
    EXPECT_TRUE(closed) << "the dialog closes although the save failed";
    EXPECT_EQ(b.viewer->CurrentSettings().I2cDelay, 300);
    ASSERT_EQ(b.prompts.messages.size(), 1u);
    EXPECT_TRUE(b.prompts.messages[0].text.contains(b.settingsFile))
        << b.prompts.messages[0].text.toStdString();
    b.ShowPage100();
    EXPECT_EQ(b.Display(), "100") << "the program goes on";
}

TEST(ViewerStart, CommandsAreEnabledByTheFirstTick)
{
    ViewerBench b;
    EXPECT_FALSE(b.Control<QToolButton>("ButSaveGraph")->isEnabled());
    EXPECT_FALSE(b.Control<QAction>("GraphToClip")->isEnabled());
    EXPECT_FALSE(test::Named<QPushButton>(b.viewer->PrintPanel(), "Print")->isEnabled());
    EXPECT_EQ(b.Main().windowTitle(), QStringLiteral("QUAV-Videotext 1.0"));
    b.Step();
    for (QToolButton* button :
         {b.Control<QToolButton>("ButSaveGraph"), b.Control<QToolButton>("ButSaveText"),
          b.Control<QToolButton>("ButCopyGraph"), b.Control<QToolButton>("ButCopyText")}) {
        EXPECT_TRUE(button->isEnabled()) << button->toolTip().toStdString();
    }
    for (QAction* action : {b.Control<QAction>("SaveGraph"), b.Control<QAction>("SaveText"),
                            b.Control<QAction>("GraphToClip"), b.Control<QAction>("TextToClip")}) {
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    }
    EXPECT_TRUE(test::Named<QPushButton>(b.viewer->PrintPanel(), "Print")->isEnabled());
}

TEST(ViewerStart, EveryControlIsFoundByItsOwnName)
{
    ViewerBench b;
    const char* const buttons[] = {"ButExit",     "ButPrint",  "ButSaveGraph", "ButSaveText", "ButCopyGraph",
                                   "ButCopyText", "ButHidden", "ButStop",      "ButHelp",     "But0",
                                   "But1",        "But2",      "But3",         "But4",        "But5",
                                   "But6",        "But7",      "But8",         "But9",        "ButMin",
                                   "ButPlus",     "But100"};
    const char* const actions[] = {"SaveGraph",  "SaveText", "GraphToClip",
                                   "TextToClip", "Drucken1", "Druckereinrichtung1",
                                   "Konfig",     "Beenden1", "HilfezuQUAVVideotext1",
                                   "Info1",      "Vollbild", "Zoom0",
                                   "Zoom1",      "Zoom2",    "Zoom3",
                                   "Zoom4"};
    const char* const labels[] = {"LetDisp", "StatusPanel0", "StatusPanel1", "StatusPanel2", "StatusPanel3"};
    std::set<QObject*> found;
    for (const char* name : buttons) {
        SCOPED_TRACE(name);
        EXPECT_EQ(b.Main().findChildren<QToolButton*>(QLatin1String(name)).size(), 1);
        found.insert(b.Control<QToolButton>(name));
    }
    for (const char* name : actions) {
        SCOPED_TRACE(name);
        found.insert(b.Control<QAction>(name));
    }
    for (const char* name : labels) {
        SCOPED_TRACE(name);
        found.insert(b.Control<QLabel>(name));
    }
    EXPECT_EQ(found.size(), std::size(buttons) + std::size(actions) + std::size(labels))
        << "each name its own";
    EXPECT_EQ(b.Control<QAction>("Zoom3")->text(), QStringLiteral("&3-fach (1200 x 936)"));
    b.Main().SetStatusText(2, "ab");
    EXPECT_EQ(b.Control<QLabel>("StatusPanel2")->text(), QStringLiteral("ab"));
}

TEST(ViewerPages, TypedDigitsAndKeypadClicksSelectPages)
{
    ViewerBench b;
    b.ShowPage100();
    ASSERT_EQ(b.Display(), "100");
    QTest::keyClick(&b.Main(), '1');
    EXPECT_EQ(b.Display(), "1--");
    QTest::keyClick(&b.Page(), '2'); // whichever control has the focus
    EXPECT_EQ(b.Display(), "12-");
    QTest::keyClick(&b.Main(), '3');
    EXPECT_EQ(b.Display(), "123");
    b.StepUntil([&b] {
        const auto& rows = b.viewer->DecoderOps().PageRows();
        return std::string(rows.begin() + 40, rows.begin() + 49) == "Seite 123";
    });
    EXPECT_EQ(b.Display(), "123");

    b.Control<QToolButton>("But2")->click();
    b.Control<QToolButton>("But5")->click();
    b.Control<QToolButton>("But0")->click();
    EXPECT_EQ(b.Display(), "250");
    b.Control<QToolButton>("ButPlus")->click();
    EXPECT_EQ(b.Main().Cycle().PageNumber(), "251");
    b.Control<QToolButton>("But100")->click();
    EXPECT_EQ(b.Main().Cycle().PageNumber(), "100");
    EXPECT_FALSE(b.Control<QPushButton>("ButTop")->isVisible());
}

TEST(ViewerPages, TheKeyboardEditsTheNumberStepsAndGoesBack)
{
    ViewerBench b;
    b.ShowPage100();
    TMain& m = b.Main();
    QTest::keyClicks(&m, QStringLiteral("1f"));
    EXPECT_EQ(b.Display(), "1F-");
    QTest::keyClick(&m, Qt::Key_Backspace);
    EXPECT_EQ(b.Display(), "1--");
    QTest::keyClick(&m, Qt::Key_Escape);
    EXPECT_EQ(b.Display(), "100");
    EXPECT_EQ(m.Cycle().CycleState(), AcquisitionCycle::State::Polling);
    QTest::keyClicks(&m, QStringLiteral("1F0"));
    EXPECT_EQ(m.Cycle().PageNumber(), "1F0");
    EXPECT_TRUE(m.Cycle().RequestPending());
    b.Step();
    const std::pair<Qt::Key, const char*> steps[] = {
        {Qt::Key_PageUp, "1F1"}, {Qt::Key_Down, "1F0"}, {Qt::Key_Up, "1F1"}, {Qt::Key_PageDown, "1F0"}};
    for (auto [key, page] : steps) {
        QTest::keyClick(&m, key);
        EXPECT_EQ(m.Cycle().PageNumber(), page);
        b.Step();
    }
    QTest::keyClick(&m, Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(m.Cycle().PageNumber(), "1F1") << "the page shown before";
    QTest::keyClick(&m, Qt::Key_Left); // without Alt: nothing
    EXPECT_EQ(m.Cycle().PageNumber(), "1F1");
}

TEST(ViewerPages, SubpagesByButtonsKeysOrTypedAndPagesThatDoNotCome)
{
    ViewerBench b;
    b.ShowPage100();
    TMain& m = b.Main();
    QTest::keyClicks(&m, QStringLiteral("200"));
    b.StepUntil([&m] { return m.Cycle().LastSubcode() > 0; });
    const int shown = m.Cycle().LastSubcode();
    ASSERT_GT(shown, 0);
    auto* next = m.findChild<QToolButton*>(QStringLiteral("ButSubNext"));
    auto* previous = m.findChild<QToolButton*>(QStringLiteral("ButSubPrev"));
    ASSERT_NE(next, nullptr);
    ASSERT_NE(previous, nullptr);
    next->click();
    EXPECT_EQ(m.Cycle().ChosenSubpage(), shown + 1);
    EXPECT_EQ(m.StatusText(1), QStringLiteral("/000%1").arg(shown + 1));
    previous->click();
    EXPECT_EQ(m.Cycle().ChosenSubpage(), shown);
    QTest::keyClick(&m, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(m.Cycle().ChosenSubpage(), shown + 1);
    QTest::keyClicks(&m, QStringLiteral("/3"));
    EXPECT_EQ(m.StatusText(1), QStringLiteral("/3---"));
    QTest::keyClick(&m, Qt::Key_Return);
    EXPECT_EQ(m.Cycle().ChosenSubpage(), 3);
    b.StepUntil([&m] { return m.Cycle().LastSubcode() == 3; });
    EXPECT_EQ(b.viewer->DecoderOps().Subcode(), 3);
    EXPECT_EQ(m.StatusText(1), QStringLiteral("/0003"));

    // A page that is not broadcast: searched for, then said so beside the signal panel.
    QTest::keyClicks(&m, QStringLiteral("555"));
    b.Step();
    EXPECT_TRUE(m.Cycle().Searching());
    EXPECT_EQ(m.Cycle().ChosenSubpage(), -1);
    b.StepUntil([&m] { return !m.StatusText(3).isEmpty(); }, 400);
    EXPECT_EQ(m.StatusText(3), QStringLiteral("Seite 555 wird nicht gesendet"));
    EXPECT_EQ(m.StatusText(0), QString());
}

TEST(ViewerPages, RevealAndStopActOnThePageShownAtOnce)
{
    ViewerBench b(true, TwoPageService("Seite 100", "\x18Geheim")); // row 2 concealed
    TMain& m = b.Main();
    b.ShowPage100();
    const QRect secret(10, 2 * 13, 60, 13);
    const QImage hidden = b.Page().CurrentImage().copy(secret);

    // Reveal draws at once, even while a slow page read holds the bus.
    b.viewer->Board()->SetPortDelay(std::chrono::microseconds(50));
    m.Cycle().RequestRedraw();
    b.clock.Advance(std::chrono::milliseconds(m.TimerInterval()));
    m.Tim();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(m.TickInFlight());
    b.Control<QToolButton>("ButHidden")->click();
    EXPECT_TRUE(m.TickInFlight());
    EXPECT_NE(b.Page().CurrentImage().copy(secret), hidden);
    b.Control<QToolButton>("ButHidden")->click();
    EXPECT_EQ(b.Page().CurrentImage().copy(secret), hidden);
    m.Cycle().AbortPoll();
    m.FinishTick();
    b.viewer->Board()->SetPortDelay(std::chrono::microseconds(0));

    // While stopped, the text exports take the page on screen, not the one read since.
    QClipboard* clipboard = QGuiApplication::clipboard();
    b.Control<QToolButton>("ButStop")->click();
    QTest::keyClicks(&m, QStringLiteral("123"));
    b.StepUntil([&b] {
        const auto& rows = b.viewer->DecoderOps().PageRows();
        return std::string(rows.begin() + 40, rows.begin() + 49) == "Seite 123";
    });
    m.ClipText();
    EXPECT_EQ(clipboard->text().mid(42, 9), QStringLiteral("Seite 100"));
    // A click finds its number in the page on screen as well ("Seite 100", not 123).
    QTest::mouseClick(&b.Page(), Qt::LeftButton, {}, b.OnPage(7 * 10 + 4, 13 + 6));
    EXPECT_EQ(m.Cycle().PageNumber(), "100");
    const QImage stopped = b.Page().CurrentImage();
    b.Control<QToolButton>("ButStop")->click(); // up: what was read is drawn now, without a tick
    EXPECT_NE(b.Page().CurrentImage(), stopped);
    m.ClipText();
    EXPECT_EQ(clipboard->text().mid(42, 9), QStringLiteral("Seite 123"));
}

TEST(ViewerPages, AClickOnANumberInThePageSelectsItAtEveryZoom)
{
    for (const int zoom : {1, 3}) {
        SCOPED_TRACE(zoom);
        ViewerBench b;
        b.Main().SetZoom(zoom, false);
        b.Main().resize(1400, 1100);
        b.ShowPage100();
        // A click on the black beside the page is no click on the page.
        QTest::mouseClick(&b.Page(), Qt::LeftButton, {}, QPoint(1, 1));
        EXPECT_EQ(b.Main().Cycle().PageNumber(), "100");
        // Row 1 reads "Index: Nachrichten 123, Sport 250": 123 stands in columns 19 to 21.
        QTest::mouseClick(&b.Page(), Qt::LeftButton, {}, b.OnPage(20 * 10 + 4, 13 + 6));
        EXPECT_EQ(b.Main().Cycle().PageNumber(), "123");
        EXPECT_TRUE(b.Main().Cycle().RequestPending());
    }
}

TEST(ViewerZoom, FitsTheLargestWholeZoomAndDrawsSharpSquarePixels)
{
    ViewerBench b;
    b.Main().show();
    b.ShowPage100();
    b.Page().resize(1300, 1000); // room for 3 x 400 by 3 x 312, not for 4
    EXPECT_EQ(b.Page().EffectiveZoom(), 3);
    const QImage shown = b.Page().grab().toImage();
    const QImage page = b.Page().CurrentImage();
    const QRectF r = b.Page().PageRect();
    // Every page pixel is a 3 x 3 block of the same colour: no smoothing at the edges.
    int mismatches = 0;
    for (int y = 0; y < 312; y += 7) {
        for (int x = 0; x < 400; x += 3) {
            for (int d = 0; d < 9; ++d) {
                const QPoint at(int(r.x()) + 3 * x + d % 3, int(r.y()) + 3 * y + d / 3);
                mismatches += shown.pixel(at) != page.pixel(x, y);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    b.Page().resize(500, 400);
    EXPECT_EQ(b.Page().EffectiveZoom(), 1) << "never below one";
}

TEST(ViewerZoom, TheChosenZoomIsKeptInAGroupOfItsOwn)
{
    ViewerBench b;
    b.Main().SetZoom(3, true);
    {
        QSettings s(b.settingsFile, QSettings::IniFormat);
        EXPECT_EQ(s.value(QStringLiteral("Ansicht/Zoom")).toString(), QStringLiteral("3"));
        EXPECT_EQ(s.value(QStringLiteral("Config")).toString(), QStringLiteral("11")) << "the rest is kept";
    }
    Settings record;
    SettingsStore store(record, b.settingsFile);
    EXPECT_EQ(store.LoadZoom(), 3);
    // Hand-edited or foreign values fall back to the best fit.
    for (const char* stored : {"9", "-1", "drei", ""}) {
        SCOPED_TRACE(stored);
        QSettings(b.settingsFile, QSettings::IniFormat)
            .setValue(QStringLiteral("Ansicht/Zoom"), QString::fromLatin1(stored));
        EXPECT_EQ(store.LoadZoom(), 0);
    }
    QSettings(b.settingsFile, QSettings::IniFormat).remove(QStringLiteral("Ansicht"));
    EXPECT_EQ(store.LoadZoom(), 0) << "an older file without the group";
}

TEST(ViewerDialogs, QtsOwnDialogsSpeakGerman)
{
    QFileDialog dialog(nullptr, QStringLiteral("Speichern"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text().remove(u'&'), QStringLiteral("Abbrechen"));
    EXPECT_EQ(buttons->button(QDialogButtonBox::Save)->text().remove(u'&'), QStringLiteral("Speichern"));
}

TEST(ViewerPages, FlashingCharactersBlinkOnScreenWhileCopiesKeepThem)
{
    // Page 100 with a flashing word in row 2 (\b: the flash code 0x08); page 123 still.
    ViewerBench b(true, TwoPageService({}, "\bBlinkt"));
    b.Main().SetZoom(1, false);
    b.Page().resize(PageImageWidget::PageWidth, PageImageWidget::PageHeight); // the page fills it
    b.ShowPage100();
    QTimer& blink = b.viewer->BlinkTimer();
    ASSERT_TRUE(blink.isActive());
    EXPECT_EQ(blink.interval(), Viewer::FlashShownMs);
    const QImage page = b.Page().CurrentImage();
    const QRect word(10, 2 * 13, 60, 13);
    QImage blank(60, 13, page.format());
    blank.fill(Qt::black);
    ASSERT_NE(page.copy(word), blank) << "the word is drawn";

    b.viewer->Blink();
    EXPECT_EQ(blink.interval(), Viewer::FlashHiddenMs);
    QImage shown = b.Page().grab().toImage().convertToFormat(page.format());
    EXPECT_EQ(shown.copy(word), blank) << "off phase: the word is left out";
    EXPECT_EQ(shown.copy(0, 0, 400, 2 * 13), page.copy(0, 0, 400, 2 * 13)) << "the rest stays";
    EXPECT_EQ(b.Page().CurrentImage(), page) << "copies and prints keep the word";

    b.viewer->Blink();
    shown = b.Page().grab().toImage().convertToFormat(page.format());
    EXPECT_EQ(shown.copy(word), page.copy(word));

    // A still page stops the timer.
    QTest::keyClicks(&b.Main(), QStringLiteral("123"));
    b.StepUntil([&b] { return !b.viewer->BlinkTimer().isActive(); });
    EXPECT_FALSE(blink.isActive());
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
        prog = test::Named<QLabel>(b.viewer->Info(), "Prog")->text();
        vers = test::Named<QLabel>(b.viewer->Info(), "Vers")->text();
        timerDuringBox = b.Main().TimerEnabled();
        test::Named<QPushButton>(b.viewer->Info(), "Button1")->click();
    });
    b.Control<QAction>("Info1")->trigger();
    EXPECT_EQ(prog, QStringLiteral("QUAV-Videotext"));
    EXPECT_EQ(vers, QStringLiteral("Version 1.0"));
    EXPECT_FALSE(timerDuringBox);
    EXPECT_TRUE(b.Main().TimerEnabled());
    EXPECT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::State::EntryTimeout);
}

TEST(ViewerDialogs, ClosingTheSettingsRestartsThePortClaim)
{
    ViewerBench b;
    const std::string noHardware = "Videotext Hardware nicht gefunden";
    b.StepUntil([&] {
        EXPECT_NE(b.Main().StatusText(0).toStdString(), noHardware)
            << "the claim at the start left the bus idle";
        return b.Page().PageDrawn() && b.Main().Cycle().LastSubcode() >= 0;
    });
    QTest::keyClicks(&b.Main(), QStringLiteral("123"));
    WhenModal([](QWidget* dialog) { dialog->close(); });
    b.Control<QAction>("Konfig")->trigger();
    EXPECT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::State::ClaimPort);
    EXPECT_EQ(b.Main().TimerInterval(), 100);
    EXPECT_TRUE(b.Main().TimerEnabled());
    b.Step();
    EXPECT_EQ(b.Main().Cycle().CycleState(), AcquisitionCycle::State::Polling);
    EXPECT_TRUE(b.viewer->Comm().IsOpen());
    // Opening the port again raised DTR and RTS on the board; the first query after the
    // claim still reaches the decoder.
    for (int tick = 0; tick < 3; ++tick) {
        b.Step();
        EXPECT_NE(b.Main().StatusText(0).toStdString(), noHardware);
    }
    EXPECT_EQ(b.Main().Cycle().PageNumber(), "123");
}

TEST(ViewerShutdown, EveryWayOutClosesThePortThroughTheSameHandlers)
{
    const std::vector<std::pair<const char*, std::function<void(TMain&)>>> ways = {
        {"Alt+F4", [](TMain& m) { QTest::keyClick(&m, Qt::Key_F4, Qt::AltModifier); }},
        {"Beenden", [](TMain& m) { m.findChild<QAction*>(QStringLiteral("Beenden1"))->trigger(); }},
        {"exit button", [](TMain& m) { m.findChild<QToolButton*>(QStringLiteral("ButExit"))->click(); }},
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

TEST(CommandLine, TheSameMistakeGetsTheSameMessageAsInTheCaptureCommand)
{
    const std::vector<std::vector<std::string>> mistakes{
        {"--frobnicate"}, {"--source"}, {"--source="}, {"--hardware=ja"}, {"--hardware", "--source", "demo"},
    };
    for (const auto& args : mistakes) {
        SCOPED_TRACE(args.front());
        QStringList arguments{QStringLiteral("quav-videotext")};
        for (const std::string& a : args) {
            arguments << QString::fromStdString(a);
        }
        const CommandLine viewer = CommandLine::Parse(arguments);
        ASSERT_EQ(viewer.action, CommandLine::Action::Fail);
        CaptureOptions options;
        std::string error;
        ASSERT_FALSE(ParseCaptureOptions(args, options, error));
        EXPECT_EQ(viewer.message.toStdString(), "quav-videotext: " + error + "\n");
    }
}

TEST(ViewerSlowBus, InputWaitsForThePageReadWhileTheSettingsAndClosingCutItShort)
{
    ViewerBench b;
    b.ShowPage100();
    // Without a hand in the test, the window's event loop hears from the worker that a
    // page read has ended, and ends the tick.
    b.Main().Timer().stop();
    b.Main().Cycle().RequestRedraw();
    b.clock.Advance(std::chrono::milliseconds(b.Main().TimerInterval()));
    b.Main().Tim();
    ASSERT_TRUE(b.Main().TickInFlight());
    QElapsedTimer loop;
    loop.start();
    while (b.Main().TickInFlight() && loop.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_FALSE(b.Main().TickInFlight());

    b.viewer->Board()->SetPortDelay(std::chrono::microseconds(50)); // a page: about 2 s
    const auto startPageRead = [&b] {
        b.Main().Cycle().RequestRedraw(); // the next poll reads the whole page again
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
    b.Control<QAction>("Konfig")->trigger();
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
    b.Control<QAction>("HilfezuQUAVVideotext1")->trigger();
    EXPECT_TRUE(b.viewer->Help().isVisible());
    EXPECT_TRUE(b.viewer->Help().Browser()->toPlainText().contains(QStringLiteral("Seiten wählen")));
    b.viewer->Setup().ButHelpClick();
    EXPECT_TRUE(b.viewer->Help().Browser()->toPlainText().contains(QStringLiteral("I2c-Delay")));
    b.viewer->PrintPanel().HelpClick();
    EXPECT_TRUE(b.viewer->Help().Browser()->toPlainText().contains(QStringLiteral("Druckvorschau")));
    b.Control<QToolButton>("ButHelp")->click();
    EXPECT_EQ(b.prompts.helpContexts, (std::vector<int>{1, 3, 5, 1})) << "every window asks the same prompts";
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
    // The option and a file name alone (what the desktop entry passes) are handed over alike.
    for (const bool option : {true, false}) {
        SCOPED_TRACE(option ? "--source" : "file alone");
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
                      option ? QStringLiteral("exec \"$0\" --source \"$(printf 'seite-\\344.tti')\"")
                             : QStringLiteral("exec \"$0\" \"$(printf 'seite-\\344.tti')\""),
                      QStringLiteral(QUAV_VIEWER_PATH)});
        ASSERT_TRUE(second.waitForStarted(10000));
        if (option) {
            QThread::msleep(1500); // the first one is busy and does not answer for a while
        }
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
        ASSERT_EQ(received.size(), option ? 2 : 1);
        EXPECT_EQ(ArgumentBytes(received.last()), odd) << "every byte of the name arrives";
        EXPECT_EQ(ArgumentBytes(receivedFolder), scratch.File("").substr(0, scratch.File("").size() - 1));
    }
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
        // A file name alone, as a file manager passes it, stands for --source.
        {{ArgumentText(odd.c_str())}, "Neue Quelle: "},
        {{QStringLiteral("fehlt.t42")}, "Zweiter Start ignoriert: Die Quelle"},
        {{ArgumentText(odd.c_str()), QStringLiteral("zwei.t42")},
         "Zweiter Start ignoriert: Zu viele Argumente: \"zwei"},
        {{QStringLiteral("--source"), QStringLiteral("demo"), ArgumentText(odd.c_str())},
         "Zweiter Start ignoriert: --source und eine Datei"},
        {{QStringLiteral("--hardware"), ArgumentText(odd.c_str())},
         "Zweiter Start ignoriert: --hardware und eine Datei"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const QString done = b.viewer->LaterStart(folder, c.arguments);
        EXPECT_TRUE(done.startsWith(QString::fromUtf8(c.status))) << done.toStdString();
        EXPECT_TRUE(b.Main().StatusText(0).startsWith(QString::fromUtf8(c.status))) << "in the status bar";
    }
    const CommandLine alone =
        CommandLine::Parse({QStringLiteral("quav-videotext"), ArgumentText(odd.c_str())}, folder);
    ASSERT_EQ(alone.action, CommandLine::Action::Run) << alone.message.toStdString();
    EXPECT_EQ(ArgumentBytes(QDir::cleanPath(alone.source)), b.scratch.File(odd))
        << "looked for where the start was";
    EXPECT_TRUE(b.viewer->LaterStart(folder, {}).isEmpty()) << "a plain later start only shows the window";
}

TEST(ViewerStart, NoWindowRunsAsRootWithOrWithoutSudo)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to start the viewer as root";
    }
    ScratchDirectory scratch;
    ASSERT_EQ(::chown(scratch.File("").c_str(), 65534, 65534), 0) << "nobody's settings go here";
    struct Case
    {
        const char* what;
        const char* sudoUid; ///< null: root itself
    };
    for (const Case& c : {Case{"root itself", nullptr}, Case{"sudo by nobody, no ports needed", "65534"}}) {
        SCOPED_TRACE(c.what);
        const QString name = OwnInstanceName(c.sudoUid == nullptr ? "root" : "sudo");
        QProcess viewer;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QUAV_INSTANCE_NAME"), name);
        env.insert(QStringLiteral("QUAV_SETTINGS_FILE"), QString::fromStdString(scratch.File("QUAV.conf")));
        env.remove(QStringLiteral("SUDO_UID"));
        env.remove(QStringLiteral("SUDO_GID"));
        if (c.sudoUid != nullptr) {
            env.insert(QStringLiteral("SUDO_UID"), QString::fromLatin1(c.sudoUid));
            env.insert(QStringLiteral("SUDO_GID"), QString::fromLatin1(c.sudoUid));
        }
        viewer.setProcessEnvironment(env);
        viewer.start(QStringLiteral(QUAV_VIEWER_PATH), {});
        ASSERT_TRUE(viewer.waitForStarted(10000));
        // The running window's user and capabilities, as the kernel sees them.
        const QString status = QStringLiteral("/proc/%1/status").arg(viewer.processId());
        QString uid;
        QString capabilities;
        QElapsedTimer waited;
        waited.start();
        while (uid.isEmpty() && viewer.state() == QProcess::Running && waited.elapsed() < 20000) {
            QThread::msleep(100);
            QFile file(status);
            if (file.open(QIODevice::ReadOnly)) {
                for (const QString& line : QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'))) {
                    if (line.startsWith(QStringLiteral("Uid:")) && !line.contains(QStringLiteral("\t0\t"))) {
                        uid = line.simplified();
                    } else if (line.startsWith(QStringLiteral("CapEff:"))) {
                        capabilities = line.simplified();
                    }
                }
            }
        }
        viewer.kill();
        viewer.waitForFinished(5000);
        for (const char* folder : {"/run/user/65534/", "/tmp/quav-65534/"}) { // nobody's lock and socket
            for (const char* ending : {".lock", ".socket"}) {
                QFile::remove(QLatin1String(folder) + name + QLatin1String(ending));
            }
        }
        const QByteArray said = viewer.readAllStandardError();
        EXPECT_EQ(uid, QStringLiteral("Uid: 65534 65534 65534 65534")) << said.toStdString();
        EXPECT_EQ(capabilities, QStringLiteral("CapEff: 0000000000000000"));
        // Root itself goes on as nobody and says so; under sudo it is simply the user.
        EXPECT_EQ(said.contains("als Benutzer nobody"), c.sudoUid == nullptr) << said.toStdString();
    }
}

} // namespace
} // namespace quav
