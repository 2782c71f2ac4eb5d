#include "app/Viewer.h"

#include "app/AppInfo.h"
#include "app/CommandLine.h"
#include "app/PageImageWidget.h"
#include "config/QuavError.h"
#include "render/QImageConversion.h"
#include "sim/SimulatedBoard.h"

namespace quav {

std::unique_ptr<Station> Viewer::MakeStation(const ViewerOptions& options, const Settings& settings)
{
    StationOptions choice;
    choice.hardware = options.hardware;
    choice.source = ArgumentBytes(options.source);
    choice.pid = options.pid;
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

bool Viewer::SwitchSource(const QString& source, int pid, QString& error)
{
    if (m_station->Board() == nullptr) {
        error = QStringLiteral("Das Programm arbeitet mit der Hardware.");
        return false;
    }
    // The board belongs to the bus work of the ticks: the new broadcast goes on air
    // between two of them.
    std::unique_ptr<PacketSource> opened = m_station->OpenSource(ArgumentBytes(source), pid, &error);
    if (!opened) {
        return false;
    }
    auto shared = std::make_shared<std::unique_ptr<PacketSource>>(std::move(opened));
    m_main->BetweenTicks([this, shared] { m_station->Board()->SetSource(std::move(*shared)); });
    return true;
}

QString Viewer::LaterStart(const QString& workingFolder, const QStringList& arguments)
{
    if (arguments.isEmpty()) {
        return {};
    }
    QString done;
    const CommandLine asked = CommandLine::Parse(QStringList{app::Title()} + arguments, workingFolder);
    if (asked.action == CommandLine::Action::Fail) {
        // The first line of the message, without the program name in front.
        QString reason = asked.message.section(QLatin1Char('\n'), 0, 0);
        const QString prefix = QStringLiteral("quav-videotext: ");
        if (reason.startsWith(prefix)) {
            reason.remove(0, prefix.size());
        }
        done = QStringLiteral("Zweiter Start ignoriert: %1").arg(reason);
    } else if (asked.action != CommandLine::Action::Run) {
        return {};
    } else if (asked.hardware) {
        done = m_station->Board() != nullptr
                   ? QStringLiteral("--hardware wurde ignoriert: Für die Hardware das Programm neu starten.")
                   : QStringLiteral("Die Hardware ist schon in Betrieb.");
    } else {
        QString error;
        done = SwitchSource(asked.source, asked.pid, error)
                   ? QStringLiteral("Neue Quelle: %1").arg(asked.source)
                   : QStringLiteral("Die Quelle \"%1\" wurde ignoriert: %2").arg(asked.source, error);
    }
    m_main->SetStatusText(0, done.toStdString());
    return done;
}

Viewer::Viewer(const ViewerOptions& options)
    : m_store(m_settings, options.settingsFile), m_station(MakeStation(options, m_settings)),
      m_lines(m_station->Ports(), m_settings),
      m_prompts(options.prompts != nullptr ? *options.prompts : m_dialogPrompts)
{
    MainParts parts{m_settings, m_storeAdapter, m_decoder, m_bridge, m_commAdapter,
                    [this] { return ToQImage(m_renderer.PageImage()); },
                    [this] { return ToQImage(m_renderer.PageImage()); }, &m_store,
                    // The screen shows flashing characters in their phase, redrawn from the
                    // rows already read; saved, copied and printed pictures keep them.
                    [this] { return ToQImage(m_renderer.ShownImage()); }};
    // The windows in their order; the first tick of the cycle comes only from the event
    // loop, when all four exist.
    m_main = std::make_unique<TMain>(std::move(parts), m_printerAccess, m_help, m_prompts);
    m_setup = std::make_unique<TSetup>(m_settings, m_store, m_prompts, m_main.get());
    m_info = std::make_unique<TInfo>(m_main.get());
    m_printPanel = std::make_unique<TDruckpanel>(m_printerAccess, m_prompts, m_main.get());
    m_main->SetDialogs(*m_setup, *m_info, *m_printPanel);
    if (m_station->Hardware()) {
        // A serial device that fails (unplugged, say) is named once, with the cycle paused.
        QObject::connect(m_main.get(), &TMain::TickEnded, m_main.get(), [this] {
            const std::string fault = m_station->TakeFault();
            if (!fault.empty()) {
                m_main->ShowPaused(QString::fromStdString(fault));
            }
        });
    }
    m_bridge.onDrawn = [this](bool wholePage) { PageDrawn(wholePage); };
    m_blink.setSingleShot(true);
    QObject::connect(&m_blink, &QTimer::timeout, m_main.get(), [this] { Blink(); });
}

void Viewer::PageDrawn(bool wholePage)
{
    m_main->PageDrawn();
    if (m_renderer.Flashing()) {
        if (!m_blink.isActive()) {
            m_blink.start(m_renderer.FlashPhase() ? FlashShownMs : FlashHiddenMs);
        }
    } else if (m_blink.isActive()) {
        // Nothing flashes any more: no timer runs for a still page.
        m_blink.stop();
        m_renderer.SetFlashPhase(true);
    }
    if (wholePage && onFirstPage) {
        auto report = std::move(onFirstPage);
        onFirstPage = nullptr;
        report();
    }
}

void Viewer::Blink()
{
    const bool shown = !m_renderer.FlashPhase();
    const std::uint32_t rows = m_renderer.SetFlashPhase(shown);
    // Only the rows with flashing characters are painted again.
    for (int row = 0; row < 24; ++row) {
        if ((rows >> row & 1u) != 0) {
            m_main->UpdatePageArea(
                QRect(0, row * Renderer::RowHeight, Renderer::RowWidth, Renderer::RowHeight));
        }
    }
    if (m_renderer.Flashing()) {
        m_blink.start(shown ? FlashShownMs : FlashHiddenMs);
    }
}

Viewer::~Viewer()
{
    // No bus work may outlive the viewer's parts; then the port's threads, which post to
    // the window, end before the windows go.
    m_main->MainEnd();
    m_station->Comm().ClosePort();
}

} // namespace quav
