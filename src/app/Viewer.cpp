#include "app/Viewer.h"

#include "app/AppInfo.h"
#include "config/QuavError.h"
#include "render/QImageConversion.h"

#include <QPrintDialog>

namespace quav {

std::unique_ptr<Station> Viewer::MakeStation(const ViewerOptions& options, const Settings& settings)
{
    StationOptions choice;
    choice.hardware = options.hardware;
    choice.source = options.source.toStdString();
    StationParts parts;
    parts.clock = options.clock;
    parts.cardPorts = options.cardPorts;
    QString error;
    std::unique_ptr<Station> station = Station::Create(choice, settings, parts, &error);
    if (!station) {
        throw QuavError(error);
    }
    return station;
}

Viewer::Viewer(const ViewerOptions& options)
    : m_store(m_settings, options.settingsFile), m_station(MakeStation(options, m_settings)),
      m_lines(m_station->Ports(), m_settings)
{
    m_printerAccess.setupDialog = [](QPrinter& printer) {
        QPrintDialog dialog(&printer);
        dialog.setWindowTitle(QStringLiteral("Drucker einstellen"));
        dialog.exec();
    };

    MainParts parts{m_settings,
                    m_storeAdapter,
                    m_decoder,
                    m_bridge,
                    m_commAdapter,
                    [this] { return ToQImage(m_renderer.PageImage()); },
                    [this] { return ToQImage(m_renderer.PageImage()); }};
    // The windows in their order; the first tick of the cycle comes only from the event
    // loop, when all four exist.
    m_main = std::make_unique<TMain>(std::move(parts), m_printerAccess, m_help);
    m_setup = std::make_unique<TSetup>(m_settings, m_store, m_main.get());
    m_info = std::make_unique<TInfo>(m_main.get());
    m_printPanel = std::make_unique<TDruckpanel>(m_printerAccess, m_main.get());
    m_main->SetDialogs(*m_setup, *m_info, *m_printPanel);
    if (m_station->Hardware()) {
        // A serial device that fails (unplugged, say) is named once, with the cycle paused.
        m_main->afterTick = [this] {
            const std::string fault = m_station->TakeFault();
            if (!fault.empty()) {
                m_main->ShowPaused(QString::fromStdString(fault));
            }
        };
    }
    m_bridge.onDrawn = [this](bool wholePage) {
        m_main->PageDrawn();
        if (wholePage && onFirstPage) {
            auto report = std::move(onFirstPage);
            onFirstPage = nullptr;
            report();
        }
    };
}

Viewer::~Viewer()
{
    // The port's threads post to the window; close it before the windows go.
    m_station->Comm().ClosePort();
}

} // namespace quav
