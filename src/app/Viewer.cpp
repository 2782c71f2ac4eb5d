#include "app/Viewer.h"

#include "app/AppInfo.h"
#include "app/BoardSource.h"
#include "app/HardwarePortIo.h"
#include "app/PageImageWidget.h"
#include "bus/AdapterPorts.h"
#include "config/QuavError.h"
#include "ports/DirectPortIo.h"
#include "render/QImageConversion.h"
#include "sim/SimulatedBoard.h"

#include <QDialogButtonBox>
#include <QPrintDialog>
#include <QPushButton>

namespace quav {

std::unique_ptr<SimulatedBoard> Viewer::MakeBoard(const ViewerOptions& options)
{
    if (options.hardware) {
        return nullptr;
    }
    auto board = options.clock != nullptr ? std::make_unique<SimulatedBoard>(*options.clock)
                                          : std::make_unique<SimulatedBoard>();
    std::string error;
    auto source = OpenBoardSource(options.source.toStdString(), error);
    if (!source) {
        throw QuavError(QString::fromStdString(error));
    }
    board->SetSource(std::move(source));
    return board;
}

namespace {

// No card answers: what an empty ISA bus reads.
class NoCards final : public PortIo
{
public:
    std::uint8_t ReadPort(std::uint16_t) override { return 0xFF; }
    void WritePort(std::uint16_t, std::uint8_t) override {}
};

} // namespace

std::unique_ptr<PortIo> Viewer::MakeHardware(const ViewerOptions& options)
{
    if (!options.hardware) {
        return nullptr;
    }
    static NoCards noCards;
    auto io = std::make_unique<HardwarePortIo>(
        options.cardPorts != nullptr ? *options.cardPorts : noCards, [this] { return m_comm.PortHandle(); },
        m_settings);
    m_hardwareIo = io.get();
    return io;
}

PortIo& Viewer::Ports()
{
    if (m_board) {
        return *m_board;
    }
    return *m_hardware;
}

Viewer::Viewer(const ViewerOptions& options)
    : m_store(m_settings, options.settingsFile), m_board(MakeBoard(options)),
      m_hardware(MakeHardware(options)), m_lines(Ports(), m_settings)
{
    if (m_board) {
        // While the board is simulated, COM1 to COM4 are its pseudo-terminals, so that the
        // serial module's port is claimed exactly as a real one.
        for (int port = 1; port <= 4; ++port) {
            const std::string path = m_board->ComPortPath(port);
            if (!path.empty()) {
                m_comm.PortMap().Map(QStringLiteral("COM%1").arg(port), QString::fromStdString(path));
            }
        }
    }

    m_printerAccess.setupDialog = [](QPrinter& printer) {
        QPrintDialog dialog(&printer);
        dialog.setWindowTitle(QStringLiteral("Drucker einstellen"));
        // This dialog only chooses the printer and its options: its button confirms the
        // choice, it does not print.
        if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
            if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) {
                ok->setText(QStringLiteral("&Übernehmen"));
            }
        }
        dialog.exec();
    };

    MainParts parts{m_settings,
                    m_storeAdapter,
                    m_decoder,
                    m_bridge,
                    m_commAdapter,
                    [this] { return ToQImage(m_renderer.PageImage()); },
                    [this] { return ToQImage(m_renderer.PageImage()); },
                    &m_store};
    // The windows in their order; the first tick of the cycle comes only from the event
    // loop, when all four exist.
    m_main = std::make_unique<TMain>(std::move(parts), m_printerAccess, m_help);
    m_setup = std::make_unique<TSetup>(m_settings, m_store, m_main.get());
    m_info = std::make_unique<TInfo>(m_main.get());
    m_printPanel = std::make_unique<TDruckpanel>(m_printerAccess, m_main.get());
    m_main->SetDialogs(*m_setup, *m_info, *m_printPanel);
    if (m_hardwareIo != nullptr) {
        // A serial device that fails (unplugged, say) is named once, with the cycle paused.
        m_main->afterTick = [this] {
            const std::string fault = m_hardwareIo->TakeFault();
            if (!fault.empty()) {
                m_main->ShowPaused(QString::fromStdString(fault));
            }
        };
    }
    m_bridge.onDrawn = [this](bool wholePage) { PageDrawn(wholePage); };
    // The screen shows flashing characters in their phase, redrawn from the rows already
    // read; saved, copied and printed pictures keep them.
    m_main->Image1->screenSource = [this] { return ToQImage(m_renderer.ShownImage()); };
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
            m_main->Image1->UpdatePageArea(
                QRect(0, row * Renderer::RowHeight, Renderer::RowWidth, Renderer::RowHeight));
        }
    }
    if (m_renderer.Flashing()) {
        m_blink.start(shown ? FlashShownMs : FlashHiddenMs);
    }
}

Viewer::~Viewer()
{
    // The port's threads post to the window; close it before the windows go.
    m_comm.ClosePort();
}

} // namespace quav
