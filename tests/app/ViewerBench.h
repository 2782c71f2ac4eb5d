#pragma once

#include "acquisition/CycleTestBench.h"
#include "app/PageImageWidget.h"
#include "app/Viewer.h"
#include "support/ManualClock.h"
#include "support/NamedControl.h"
#include "support/PacketBuilder.h"
#include "support/QueuedPrompts.h"
#include "support/SimulatedStack.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QSettings>
#include <QString>

namespace quav::test {

// The test's answers to the viewer's dialogs; the help it opens still goes to the help
// window, so that tests can read what it shows.
struct BenchPrompts : QueuedPrompts
{
    void ShowHelp(int context) override
    {
        QueuedPrompts::ShowHelp(context);
        if (viewer != nullptr) {
            viewer->Help().ShowContext(context);
        }
    }
    Viewer* viewer = nullptr;
};

// The viewer on the simulated board, its clock in the test's hand, its settings in a
// scratch file, its dialogs answered by `prompts`. Ticks are run by hand: Step() lets one
// timer interval pass and ticks.
struct ViewerBench
{
    explicit ViewerBench(bool storedSettings = true, const std::vector<Packet>& service = CycleService())
    {
        packets::WriteT42(scratch.File("service.t42"), service);
        settingsFile = QString::fromStdString(scratch.File("QUAV.conf"));
        if (storedSettings) {
            QSettings s(settingsFile, QSettings::IniFormat);
            s.setValue(QStringLiteral("Config"), QStringLiteral("11"));
            s.setValue(QStringLiteral("Hardware/LoopTime"), QStringLiteral("0"));
        }
        ViewerOptions options;
        options.source = QString::fromStdString(scratch.File("service.t42"));
        options.settingsFile = settingsFile;
        options.clock = &clock;
        options.prompts = &prompts;
        viewer = std::make_unique<Viewer>(options);
        prompts.viewer = viewer.get();
    }
    /// A control of the main window, found by its object name; fails the test when missing.
    template <typename T> T* Control(const char* name) { return Named<T>(Main(), name); }
    void Step()
    {
        clock.Advance(std::chrono::milliseconds(Main().TimerInterval()));
        Main().Tim();
        Main().FinishTick();
    }
    void StepUntil(const std::function<bool()>& done, int steps = 100)
    {
        for (int i = 0; i < steps && !done(); ++i) {
            Step();
        }
    }
    void ShowPage100()
    {
        StepUntil([this] { return Page().PageDrawn() && Main().Cycle().LastSubcode() >= 0; });
    }
    /// The widget position of a page pixel, at whatever zoom the page is drawn.
    QPoint OnPage(int x, int y)
    {
        const QRectF page = Page().PageRect();
        const double scale = page.width() / PageImageWidget::PageWidth;
        return QPointF(page.x() + (x + 0.5) * scale, page.y() + (y + 0.5) * scale).toPoint();
    }
    std::string Display() { return DisplayText(Main().Cycle().Digits(), Main().Cycle().PageDisplay()); }
    TMain& Main() { return viewer->Main(); }
    PageImageWidget& Page() { return *Control<PageImageWidget>("Image1"); }

    ScratchDirectory scratch;
    QString settingsFile;
    ManualClock clock;
    BenchPrompts prompts;
    std::unique_ptr<Viewer> viewer;
};

} // namespace quav::test
