#pragma once

#include "acquisition/RendererBridge.h"
#include "app/Adapters.h"
#include "app/DialogPrompts.h"
#include "app/HelpWindow.h"
#include "app/TInfo.h"
#include "app/TMain.h"
#include "bus/I2cMaster.h"
#include "bus/LineAdapters.h"
#include "config/SettingsStore.h"
#include "config/TSetup.h"
#include "decoder/Decoder.h"
#include "export/TDruckpanel.h"
#include "render/Renderer.h"
#include "serial/TComm32.h"
#include "station/Station.h"

#include <memory>

#include <QPrinter>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace quav {

/// How a viewer is put together.
struct ViewerOptions
{
    /// "demo", a T42 recording, a TTI file or a folder of TTI files, for the simulated board.
    QString source = QStringLiteral("demo");
    int pid = -1; ///< the teletext PID of a transport stream; -1: from PAT and PMT
    /// The real adapters instead of the simulated board.
    bool hardware = false;
    /// A settings file to use instead of the user's own settings (tests, second profile).
    QString settingsFile;
    /// The board's clock; the real one when null.
    BoardClock* clock = nullptr;
    /// With hardware: the card ports, opened (or refused) before the program gave up its
    /// privileges. Null: the card adapters are absent.
    PortIo* cardPorts = nullptr;
    /// What answers the windows' dialogs (tests); null: Qt's dialogs and the help window.
    Prompts* prompts = nullptr;
};

/// The whole program: the objects of the run, created once and wired by reference, and
/// the four windows, created in their order (main window, settings dialog, about box,
/// print panel). The simulated board or the real ports stand behind the bus.
class Viewer
{
public:
    /// Throws QuavError with a German message when the broadcast source cannot be used.
    explicit Viewer(const ViewerOptions& options);
    ~Viewer();

    /// Plays another source on the simulated board, as a later start asked for. False with
    /// a German message when the viewer works with the hardware or the source is unusable.
    bool SwitchSource(const QString& source, int pid, QString& error);
    /// Takes the arguments of a later start (without the program name; a relative source
    /// is looked for in `workingFolder`): switches the source, or says why not. The text
    /// goes to the status bar and is returned; empty when there was nothing to do.
    QString LaterStart(const QString& workingFolder, const QStringList& arguments);

    TMain& Main() { return *m_main; }
    TSetup& Setup() { return *m_setup; }
    TInfo& Info() { return *m_info; }
    TDruckpanel& PrintPanel() { return *m_printPanel; }
    HelpWindow& Help() { return m_help; }
    Settings& CurrentSettings() { return m_settings; }
    SettingsStore& Store() { return m_store; }
    Decoder& DecoderOps() { return m_decoder; }
    Renderer& PageRenderer() { return m_renderer; }
    TComm32& Comm() { return m_station->Comm(); }
    QPrinter& Printer() { return m_printer; }
    /// The simulated board; null with real hardware.
    SimulatedBoard* Board() { return m_station->Board(); }
    Station& BusStation() { return *m_station; }
    /// Called once, when the first page has been drawn.
    std::function<void()> onFirstPage;
    /// Flashing characters on screen: the phases as a television's character generator
    /// counts them in 50 Hz fields, 48 fields shown and 16 left out.
    static constexpr int FlashShownMs = 960;
    static constexpr int FlashHiddenMs = 320;
    /// Runs while the page on screen has flashing characters.
    QTimer& BlinkTimer() { return m_blink; }
    /// The blink timer's step: the other flash phase on screen.
    void Blink();

private:
    static std::unique_ptr<Station> MakeStation(const ViewerOptions& options, const Settings& settings);
    void PageDrawn(bool wholePage);

    Settings m_settings;
    SettingsStore m_store;
    StoreAdapter m_storeAdapter{m_store};
    std::unique_ptr<Station> m_station;
    LineAdapters m_lines;
    I2cMaster m_master{m_lines};
    Decoder m_decoder{m_master};
    Renderer m_renderer;
    RendererBridge m_bridge{m_renderer, m_decoder};
    CommPortAdapter m_commAdapter{*m_station};
    HelpWindow m_help;
    DialogPrompts m_dialogPrompts{m_help};
    Prompts& m_prompts;
    QPrinter m_printer;
    PrinterAccess m_printerAccess{m_printer, m_prompts};
    std::unique_ptr<TMain> m_main;
    std::unique_ptr<TSetup> m_setup;
    std::unique_ptr<TInfo> m_info;
    std::unique_ptr<TDruckpanel> m_printPanel;
    QTimer m_blink;
};

} // namespace quav
