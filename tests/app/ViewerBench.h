#pragma once

#include "acquisition/CycleTestBench.h"
#include "app/PageImageWidget.h"
#include "app/Viewer.h"
#include "support/ManualClock.h"
#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"

#include <functional>
#include <memory>
#include <vector>

#include <QSettings>

namespace quav::test {

// The viewer on the simulated board, its clock in the test's hand, its settings in a
// scratch file. Ticks are run by hand: Step() lets one timer interval pass and ticks.
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
        viewer = std::make_unique<Viewer>(options);
        viewer->Main().showMessage = [this](const QString&, const QString& message, bool) {
            messages.push_back(message);
        };
    }
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
        StepUntil([this] { return Main().Image1->PageDrawn() && Main().Cycle().LastSubcode() >= 0; });
    }
    /// The widget position of a page pixel, at whatever zoom the page is drawn.
    QPoint OnPage(int x, int y)
    {
        const QRectF page = Main().Image1->PageRect();
        const double scale = page.width() / PageImageWidget::PageWidth;
        return QPointF(page.x() + (x + 0.5) * scale, page.y() + (y + 0.5) * scale).toPoint();
    }
    std::string Display() { return DisplayText(Main().Cycle().Digits(), Main().Cycle().PageDisplay()); }
    TMain& Main() { return viewer->Main(); }

    ScratchDirectory scratch;
    QString settingsFile;
    ManualClock clock;
    std::unique_ptr<Viewer> viewer;
    std::vector<QString> messages;
};

} // namespace quav::test
