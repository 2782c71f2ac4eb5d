#pragma once

#include "acquisition/AcquisitionCycle.h"
#include "acquisition/PageSelection.h"
#include "acquisition/PollWorker.h"
#include "config/Settings.h"

#include <array>
#include <deque>
#include <functional>
#include <memory>

#include <QImage>
#include <QMainWindow>
#include <QTimer>

class QAction;
class QFileDialog;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QSocketNotifier;
class QToolButton;

namespace quav {

class HelpWindow;
class SettingsStore;
class PageImageWidget;
class PrinterAccess;
class Prompts;
class TDruckpanel;
class TInfo;
class TSetup;

/// What the main window is wired to: the objects of the run, made by the program entry.
struct MainParts
{
    Settings& settings;
    CycleSettingsStore& store;
    Decoder& decoder;
    CycleRenderer& renderer;
    CyclePort& comm;
    /// The 400 x 312 page image as drawn by the renderer.
    std::function<QImage()> pageImage;
    /// The picture that "Grafik speichern" writes: the header image over the rows image.
    std::function<QImage()> savedPicture;
    /// Where the page zoom is kept; none: the zoom is not remembered.
    SettingsStore* viewStore = nullptr;
    /// The page as the screen shows it (flashing characters in their phase); none: the
    /// page image.
    std::function<QImage()> shownImage;
};

/// The main window: menu, toolbar, page image, keypad, page-number display and status
/// bar. It hosts the acquisition cycle (its timer, status panels, stop button, focus,
/// settings command, serial port) and hands keys, keypad and clicks to page selection.
///
/// The bus work of a polling tick runs on a worker thread, so the window answers while
/// the bus is slow. While it runs, the decoder and the cycle are not touched from here:
/// page input waits in order and reaches the cycle as soon as the tick has ended; the
/// settings, the other dialogs, the text clipboard and closing the window cut the bus
/// work short instead (within one byte on the bus) and go ahead at once.
class TMain : public QMainWindow, public CycleHost
{
    Q_OBJECT

public:
    TMain(MainParts parts, PrinterAccess& printer, HelpWindow& help, Prompts& prompts,
          QWidget* parent = nullptr);
    /// The dialogs, created after the main window; the first tick comes only after this.
    void SetDialogs(TSetup& setup, TInfo& info, TDruckpanel& printPanel);
    ~TMain() override;

    // CycleHost
    void SetTimerEnabled(bool enabled) override;
    bool TimerEnabled() const override;
    void SetTimerInterval(int milliseconds) override;
    int TimerInterval() const override;
    void SetStatusText(int panel, const std::string& text) override;
    bool StopButtonDown() const override;
    void FocusMainWindow() override;
    void RunSettingsDialog() override { KonfigClick(); }
    void EnableCommands() override;
    void PageDisplayChanged(const std::vector<std::uint32_t>& pixels) override;
    std::uint32_t ButtonFaceColour() const override;
    void Beep() override;
    void ProcessPendingEvents() override;
    void ReportError(const std::string& message) override;
    void RunBusWork(const std::function<void()>& work, const std::function<void()>& done) override;
    CyclePort& Comm() override { return m_parts.comm; }

    // Handlers, named after their controls.
    void MainStart();
    void MainEnd();
    void ProgEnd();
    void Beenden1Click();
    void KonfigClick();
    void Info1Click();
    void ButHelpClick();
    void Tim();
    /// Waits for the bus work of the tick under way and ends the tick; does nothing
    /// between ticks.
    void FinishTick();
    /// Whether a tick's bus work is under way on the worker.
    bool TickInFlight() const { return m_worker && m_worker->Busy(); }
    /// Runs what changes the cycle or reads the decoder's buffers (page input, a redraw
    /// from the rows already read): now between ticks, or once the tick under way has
    /// ended, in the order it came.
    void BetweenTicks(std::function<void()> input);
    void SaveGraphClick();
    void SaveTextClick();
    void ClipGraph();
    void ClipText();
    void PrintClik();
    void Druckereinrichtung1Click();
    /// Called by the renderer bridge after each drawing into the page image.
    void PageDrawn();

    /// 0: the best whole-number zoom that fits the window; 1 to 8: that zoom. Remembered in
    /// the settings when asked to.
    void SetZoom(int zoom, bool remember);
    void ToggleFullScreen();

    /// Centres a dialog over this window (outer frames, integer halves).
    void CentreOver(QWidget& dialog) const;

    AcquisitionCycle& Cycle() { return *m_cycle; }
    PageSelection& Selection() { return *m_selection; }
    QTimer& Timer() { return m_timer; }
    QString StatusText(int panel) const;

    /// Shows a message with the cycle paused, and lets it go on afterwards.
    void ShowPaused(const QString& message);
    /// Paints a part of the page (in page pixels) again, as it is on screen now.
    void UpdatePageArea(const QRect& area);

Q_SIGNALS:
    /// After each tick of the cycle, once its bus work has ended.
    void TickEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The controls; each carries its name as object name, which is how tests find them.
    QToolButton* ButExit = nullptr;
    QToolButton* ButPrint = nullptr;
    QToolButton* ButSaveGraph = nullptr;
    QToolButton* ButSaveText = nullptr;
    QToolButton* ButCopyGraph = nullptr;
    QToolButton* ButCopyText = nullptr;
    QToolButton* ButHidden = nullptr;
    QToolButton* ButStop = nullptr;
    QToolButton* ButHelp = nullptr;
    PageImageWidget* Image1 = nullptr;
    QLabel* LetDisp = nullptr;
    std::array<QToolButton*, 10> DigitButtons{}; ///< But0 to But9
    QToolButton* ButMin = nullptr;
    QToolButton* ButPlus = nullptr;
    QToolButton* But100 = nullptr;
    QPushButton* ButTop = nullptr;
    std::array<QLabel*, 4> StatusPanels{};
    QAction* SaveGraph = nullptr;
    QAction* SaveText = nullptr;
    QAction* GraphToClip = nullptr;
    QAction* TextToClip = nullptr;
    QAction* Drucken1 = nullptr;
    QAction* Druckereinrichtung1 = nullptr;
    QAction* Konfig = nullptr;
    QAction* Beenden1 = nullptr;
    QAction* HilfezuQUAVVideotext1 = nullptr;
    QAction* Info1 = nullptr;
    QAction* Vollbild = nullptr;

    void BuildMenu();
    void BuildControls(QWidget* client);
    QToolButton* KeypadButton(QWidget* parent, const QString& caption, int tag, int x, int y, int w);
    /// Runs a modal step with the timer paused and gives the timer back its state.
    void WithTimerPaused(const std::function<void()>& step);
    void RunHeldInput();
    /// Cuts the bus work under way short and ends its tick, for what must not wait for it.
    void SettleBus();
    void NameControls();
    /// The save dialog, starting from the last file name chosen.
    QString AskSaveFile(const QString& title, const QString& filter, const QString& suffix);
    /// The entry code of a key that types no page character (-1: not a page key).
    static int EntryCode(int key, Qt::KeyboardModifiers modifiers);

    MainParts m_parts;
    TSetup* m_setup = nullptr;
    TInfo* m_info = nullptr;
    TDruckpanel* m_printPanel = nullptr;
    PrinterAccess& m_printer;
    HelpWindow& m_help;
    Prompts& m_prompts;
    QTimer m_timer;
    std::unique_ptr<AcquisitionCycle> m_cycle;
    std::unique_ptr<PageSelection> m_selection;
    QFrame* m_pagePanel = nullptr;
    QToolButton* m_butSubPrev = nullptr; ///< previous subpage
    QToolButton* m_butSubNext = nullptr; ///< next subpage
    std::vector<QAction*> m_zoomActions;
    std::unique_ptr<PollWorker> m_worker;
    std::unique_ptr<QSocketNotifier> m_workerEnded; ///< tells the window that a job ended
    std::function<void()> m_busDone;                ///< ends the tick whose bus work runs
    std::deque<std::function<void()>> m_heldInput;  ///< page input that came during bus work
    QString m_lastSaveName;
    bool m_centred = false;
    bool m_closing = false;
    bool m_settling = false;
};

} // namespace quav
