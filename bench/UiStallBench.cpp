// How long the viewer's window stands still while the bus works: the viewer on the
// simulated board with the demo broadcast, the board imitating a slow adapter.

#include "app/Viewer.h"
#include "sim/SimulatedBoard.h"

#include <algorithm>
#include <chrono>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

using namespace quav;

QApplication& App()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "quav-bench";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

// The longest gap between two turns of the window's event loop, from the start until the
// first whole page has been read and drawn, with every port access taking 100 us.
void BM_UiStallDuringSlowPageRead(benchmark::State& state)
{
    App();
    QTemporaryDir scratch;
    const QString settingsFile = scratch.filePath(QStringLiteral("QUAV.conf"));
    {
        QSettings s(settingsFile, QSettings::IniFormat);
        s.setValue(QStringLiteral("Config"), QStringLiteral("11"));
        s.setValue(QStringLiteral("Hardware/LoopTime"), QStringLiteral("0"));
    }
    for (auto _ : state) {
        ViewerOptions options;
        options.settingsFile = settingsFile;
        Viewer viewer(options);
        viewer.Board()->SetPortDelay(std::chrono::microseconds(100));
        QEventLoop loop;
        bool drawn = false;
        viewer.onFirstPage = [&] {
            drawn = true;
            loop.quit();
        };
        QElapsedTimer sinceLastTurn;
        qint64 longest = 0;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(1);
        QObject::connect(&probe, &QTimer::timeout, &loop, [&] {
            longest = std::max(longest, sinceLastTurn.elapsed());
            sinceLastTurn.restart();
        });
        QTimer::singleShot(120000, &loop, [&loop] { loop.quit(); });
        sinceLastTurn.start();
        probe.start();
        loop.exec();
        probe.stop();
        longest = std::max(longest, sinceLastTurn.elapsed());
        viewer.Main().close();
        if (!drawn) {
            state.SkipWithError("no page within two minutes");
            break;
        }
        state.counters["longest_stall_ms"] = double(longest);
        state.counters["port_accesses"] = double(viewer.Board()->PortAccesses());
    }
}
BENCHMARK(BM_UiStallDuringSlowPageRead)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace
