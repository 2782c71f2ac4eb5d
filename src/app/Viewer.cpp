#include "app/Viewer.h"

#include "app/AppInfo.h"
#include "app/BoardSource.h"
#include "app/HardwarePortIo.h"
#include "bus/AdapterPorts.h"
#include "config/QuavError.h"
#include "ports/DirectPortIo.h"
#include "render/QImageConversion.h"
#include "sim/SimulatedBoard.h"

#include <QPrintDialog>

namespace quav {

std::unique_ptr<SimulatedBoard> Viewer::MakeBoard(const ViewerOptions& options)
{
    if (options.hardware) {
        return nullptr;
    }
    auto board = options.clock != nullptr ? std::make_unique<SimulatedBoard>(*options.clock)
                                          : std::make_unique<SimulatedBoard>();
    std::string error;
    auto source = OpenBoardSource(options.source.toStdString(), error, options.pid);
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
    if (m_hardwareIo != nullptr) {
        // A serial device that fails (unplugged, say) is named once, with the cycle paused.
        m_main->afterTick = [this] {
            const std::string fault = m_hardwareIo->TakeFault();
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
    m_comm.ClosePort();
}

} // namespace quav
