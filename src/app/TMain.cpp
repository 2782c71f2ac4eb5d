#include "app/TMain.h"

#include "app/AppInfo.h"
#include "app/HelpWindow.h"
#include "app/PageImageWidget.h"
#include "app/TInfo.h"
#include "app/ToolbarGlyphs.h"
#include "config/QuavError.h"
#include "config/TSetup.h"
#include "export/PageExport.h"
#include "export/TDruckpanel.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

namespace quav {

namespace {

QToolButton* SpeedButton(QWidget* parent, Glyph glyph, const QString& hint, int x, int y, int w)
{
    auto* b = new QToolButton(parent);
    b->setGeometry(x, y, w, 23);
    b->setIcon(GlyphIcon(glyph));
    b->setIconSize(QSize(16, 16));
    b->setToolTip(hint);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

QFrame* Panel(QWidget* parent, int x, int y, int w, int h)
{
    auto* f = new QFrame(parent);
    f->setGeometry(x, y, w, h);
    f->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    f->setLineWidth(1);
    return f;
}

} // namespace

TMain::TMain(MainParts parts, PrinterAccess& printer, HelpWindow& help, QWidget* parent)
    : QMainWindow(parent), m_parts(std::move(parts)), m_printer(printer), m_help(help)
{
    setWindowIcon(QIcon(ProgramIcon(32)));
    auto* client = new QWidget(this);
    client->setFixedSize(524, 381);
    setCentralWidget(client);
    BuildMenu();
    BuildControls(client);
    setWindowFlags((windowFlags() & ~Qt::WindowMaximizeButtonHint) | Qt::MSWindowsFixedSizeDialogHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_cycle = std::make_unique<AcquisitionCycle>(*this, m_parts.decoder, m_parts.renderer, m_parts.store,
                                                 m_parts.settings);
    m_selection = std::make_unique<PageSelection>(*m_cycle, m_parts.decoder, m_parts.renderer);
    m_worker = std::make_unique<PollWorker>([this] {
        // On the worker thread: only pass the news to the window's thread.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_worker && m_worker->Done()) {
                    FinishTick();
                }
            },
            Qt::QueuedConnection);
    });
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, [this] { Tim(); });

    askSaveFile = [this](const QString& title, const QString& filter, const QString& suffix) {
        // Both saves start from the last file name chosen.
        QFileDialog dialog(this, title, m_lastSaveName, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(suffix);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return QString();
        }
        m_lastSaveName = dialog.selectedFiles().constFirst();
        return m_lastSaveName;
    };
    showMessage = [this](const QString& title, const QString& message, bool abortButton) {
        QMessageBox box(QMessageBox::Critical, title, message, QMessageBox::NoButton, this);
        if (abortButton) {
            box.addButton(QStringLiteral("&Abbrechen"), QMessageBox::RejectRole);
        } else {
            box.addButton(QMessageBox::Ok);
        }
        box.exec();
    };
    showHelp = [this](int context) { m_help.ShowContext(context); };

    qApp->installEventFilter(this);
    MainStart();
}

TMain::~TMain()
{
    // The bus work may still hold the cycle; it ends (cut short) before anything goes.
    if (m_worker && m_worker->Busy()) {
        m_cycle->AbortPoll();
    }
    m_worker.reset();
    qApp->removeEventFilter(this);
}

void TMain::SetDialogs(TSetup& setup, TInfo& info, TDruckpanel& printPanel)
{
    m_setup = &setup;
    m_info = &info;
    m_printPanel = &printPanel;
    m_setup->showHelp = [this](int context) { showHelp(context); };
    m_printPanel->showHelp = [this](int context) { showHelp(context); };
}

void TMain::BuildMenu()
{
    QMenu* datei = menuBar()->addMenu(QStringLiteral("&Dateien"));
    QMenu* save = datei->addMenu(QStringLiteral("&Speichern"));
    SaveGraph = save->addAction(QStringLiteral("...als &Grafik"), this, [this] { SaveGraphClick(); });
    SaveText = save->addAction(QStringLiteral("...als &Text"), this, [this] { SaveTextClick(); });
    QMenu* clip = datei->addMenu(QStringLiteral("In &Zwischenablage kopieren"));
    GraphToClip = clip->addAction(QStringLiteral("... als &Grafik"), this, [this] { ClipGraph(); });
    GraphToClip->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    TextToClip = clip->addAction(QStringLiteral("... als &Text"), this, [this] { ClipText(); });
    TextToClip->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    datei->addSeparator();
    Drucken1 = datei->addAction(QStringLiteral("&Drucken..."), this, [this] { PrintClik(); });
    Druckereinrichtung1 = datei->addAction(QStringLiteral("Drucker ei&nstellen..."), this,
                                           [this] { Druckereinrichtung1Click(); });
    datei->addSeparator();
    Konfig = datei->addAction(QStringLiteral("&Einstellungen..."), this, [this] { KonfigClick(); });
    datei->addSeparator();
    Beenden1 = datei->addAction(QStringLiteral("&Beenden"), this, [this] { Beenden1Click(); });
    Beenden1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));

    QMenu* hilfe = menuBar()->addMenu(QStringLiteral("&Hilfe"));
    HilfezuQUAVVideotext1 =
        hilfe->addAction(QStringLiteral("&Hilfe zu QUAV Videotext"), this, [this] { ButHelpClick(); });
    HilfezuQUAVVideotext1->setShortcut(QKeySequence(Qt::Key_F1));
    hilfe->addSeparator();
    Info1 = hilfe->addAction(QStringLiteral("&Über QUAV-Videotext..."), this, [this] { Info1Click(); });

    for (QAction* a : {SaveGraph, SaveText, GraphToClip, TextToClip}) {
        a->setEnabled(false);
    }
    // The shortcuts work wherever the focus is in the window.
    for (QAction* a : {GraphToClip, TextToClip, Beenden1, HilfezuQUAVVideotext1}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }
}

QToolButton* TMain::KeypadButton(QWidget* parent, const QString& caption, int tag, int x, int y, int w)
{
    auto* b = new QToolButton(parent);
    b->setText(caption);
    b->setGeometry(x, y, w, 24);
    QFont bold = b->font();
    bold.setBold(true);
    b->setFont(bold);
    b->setProperty("Tag", tag);
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QToolButton::clicked, this,
            [this, tag] { BetweenTicks([this, tag] { m_selection->But1Click(tag); }); });
    return b;
}

void TMain::BuildControls(QWidget* client)
{
    auto* bevel = new QFrame(client);
    bevel->setGeometry(0, 0, 521, 2);
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    ButExit = SpeedButton(client, Glyph::Exit, QStringLiteral("Ende"), 8, 6, 25);
    ButPrint = SpeedButton(client, Glyph::Print, QStringLiteral("Drucken"), 40, 6, 23);
    ButSaveGraph = SpeedButton(client, Glyph::SavePicture, QStringLiteral("Grafik speichern"), 71, 6, 23);
    ButSaveText = SpeedButton(client, Glyph::SaveText, QStringLiteral("Text speichern"), 95, 6, 23);
    ButCopyGraph =
        SpeedButton(client, Glyph::CopyPicture, QStringLiteral("Grafik ins Clipboard"), 126, 6, 23);
    ButCopyText = SpeedButton(client, Glyph::CopyText, QStringLiteral("Text ins Clipboard"), 150, 6, 23);
    ButHidden =
        SpeedButton(client, Glyph::Reveal, QStringLiteral("Versteckte Zeichen aufdecken"), 183, 6, 23);
    ButStop = SpeedButton(client, Glyph::Stop, QStringLiteral("Seitenaufbau stoppen"), 207, 6, 23);
    ButHelp = SpeedButton(client, Glyph::Help, QStringLiteral("Hilfe"), 490, 6, 23);
    ButHidden->setCheckable(true);
    ButStop->setCheckable(true);
    for (QToolButton* b : {ButSaveGraph, ButSaveText, ButCopyGraph, ButCopyText}) {
        b->setEnabled(false);
    }
    connect(ButExit, &QToolButton::clicked, this, [this] { Beenden1Click(); });
    connect(ButPrint, &QToolButton::clicked, this, [this] { PrintClik(); });
    connect(ButSaveGraph, &QToolButton::clicked, this, [this] { SaveGraphClick(); });
    connect(ButSaveText, &QToolButton::clicked, this, [this] { SaveTextClick(); });
    connect(ButCopyGraph, &QToolButton::clicked, this, [this] { ClipGraph(); });
    connect(ButCopyText, &QToolButton::clicked, this, [this] { ClipText(); });
    // The stop button's state is read when a tick draws, so holding the toggle back until
    // the tick has ended still stops the drawing at once.
    connect(ButHidden, &QToolButton::clicked, this, [this] {
        const bool down = ButHidden->isChecked();
        BetweenTicks([this, down] { m_selection->ButHiddenClick(down); });
    });
    connect(ButStop, &QToolButton::clicked, this, [this] {
        const bool down = ButHidden->isChecked();
        BetweenTicks([this, down] { m_selection->ButHiddenClick(down); });
    });
    connect(ButHelp, &QToolButton::clicked, this, [this] { ButHelpClick(); });

    QFrame* panel1 = Panel(client, 8, 33, 410, 322);
    panel1->setAutoFillBackground(true);
    QPalette black = panel1->palette();
    black.setColor(QPalette::Window, Qt::black);
    panel1->setPalette(black);
    Image1 = new PageImageWidget(panel1);
    Image1->move(5, 5);
    Image1->pageSource = m_parts.pageImage;
    Image1->onMouseMove = [this](int x, int y) {
        BetweenTicks([this, x, y] { m_selection->mposition(x, y); });
    };
    Image1->onClick = [this] { BetweenTicks([this] { m_selection->PageClick(); }); };

    QFrame* panel3 = Panel(client, 425, 33, 88, 322);
    panel3->setAutoFillBackground(true);
    QPalette workspace = panel3->palette();
    workspace.setColor(QPalette::Window, palette().color(QPalette::Dark));
    panel3->setPalette(workspace);
    QFrame* panel2 = Panel(panel3, 8, 8, 71, 25);
    LetDisp = new QLabel(panel2);
    LetDisp->setGeometry(15, 2, 41, 21);

    const int columns[] = {8, 32, 56};
    const int rows[] = {40, 64, 88};
    for (int i = 1; i <= 9; ++i) {
        DigitButtons[std::size_t(i)] =
            KeypadButton(panel3, QString::number(i), i, columns[(i - 1) % 3], rows[(i - 1) / 3], 24);
    }
    ButMin = KeypadButton(panel3, QStringLiteral("-"), PageSelection::PreviousPage, 8, 112, 24);
    DigitButtons[0] = KeypadButton(panel3, QStringLiteral("0"), 0, 32, 112, 24);
    ButPlus = KeypadButton(panel3, QStringLiteral("+"), PageSelection::NextPage, 56, 112, 24);
    But100 = KeypadButton(panel3, QStringLiteral("100"), PageSelection::IndexPage, 8, 136, 72);
    ButTop = new QPushButton(QStringLiteral("TOP"), panel3);
    ButTop->setGeometry(24, 240, 41, 25);
    ButTop->setProperty("Tag", int(PageSelection::TopPage));
    ButTop->hide(); // never shown; its page is reached by typing 1F0 nowhere but here
    connect(ButTop, &QPushButton::clicked, this,
            [this] { BetweenTicks([this] { m_selection->But1Click(PageSelection::TopPage); }); });

    auto* status = new QFrame(client);
    status->setGeometry(0, 362, 524, 19);
    int x = 0;
    const int widths[] = {250, 45, 80, 50};
    for (std::size_t i = 0; i < StatusPanels.size(); ++i) {
        auto* label = new QLabel(status);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment(Qt::AlignCenter);
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        // The last panel takes the rest of the bar, as a status bar's last panel does.
        label->setGeometry(x, 0, i + 1 < StatusPanels.size() ? widths[i] : 524 - x, 19);
        x += widths[i];
        StatusPanels[i] = label;
    }
}

void TMain::showEvent(QShowEvent* event)
{
    if (!m_centred) {
        m_centred = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            const QRect frame = frameGeometry();
            move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
        }
    }
    QMainWindow::showEvent(event);
}

void TMain::MainStart()
{
    setWindowTitle(app::Title() + QStringLiteral(" ") + app::Version());
    m_cycle->StartCycle();
}

void TMain::MainEnd()
{
    m_timer.stop();
    // No tick ends after this: bus work under way is cut short and its result dropped.
    if (m_worker->Busy()) {
        m_cycle->AbortPoll();
        m_worker->Finish();
        m_busDone = nullptr;
    }
    m_heldInput.clear();
}

void TMain::ProgEnd()
{
    m_parts.comm.ClosePort();
    m_help.Quit();
}

void TMain::closeEvent(QCloseEvent* event)
{
    // Every way out (Alt+F4, "Beenden", the exit button, the close box) comes here.
    MainEnd();
    ProgEnd();
    m_closing = true;
    event->accept();
}

void TMain::Beenden1Click()
{
    close();
}

void TMain::CentreOver(QWidget& dialog) const
{
    const QRect main = frameGeometry();
    const QRect d = dialog.frameGeometry();
    dialog.move(main.left() + main.width() / 2 - d.width() / 2,
                main.top() + main.height() / 2 - d.height() / 2);
}

void TMain::KonfigClick()
{
    SettleBus(); // the dialog changes the settings that the bus work reads
    m_timer.stop();
    CentreOver(*m_setup);
    m_setup->exec();
    m_cycle->RestartCycle();
}

void TMain::Info1Click()
{
    m_info->Fill();
    CentreOver(*m_info);
    WithTimerPaused([this] { m_info->exec(); });
}

void TMain::ButHelpClick()
{
    showHelp(app::HelpMain);
}

void TMain::Tim()
{
    if (m_worker->Busy()) {
        return; // ticks never overlap
    }
    m_cycle->Tim();
    if (!m_worker->Busy()) {
        AfterTickDone();
    }
}

void TMain::RunBusWork(const std::function<void()>& work, const std::function<void()>& done)
{
    m_busDone = done;
    m_worker->Start(work);
}

void TMain::FinishTick()
{
    if (!m_worker->Finish()) {
        return;
    }
    const auto done = std::move(m_busDone);
    m_busDone = nullptr;
    if (done) {
        done();
    }
    AfterTickDone();
}

void TMain::AfterTickDone()
{
    if (afterTick) {
        afterTick();
    }
}

void TMain::BetweenTicks(std::function<void()> input)
{
    m_heldInput.push_back(std::move(input));
    RunHeldInput();
}

void TMain::RunHeldInput()
{
    while (!m_heldInput.empty() && !m_worker->Busy()) {
        auto input = std::move(m_heldInput.front());
        m_heldInput.pop_front();
        input();
    }
}

void TMain::SettleBus()
{
    if (m_worker->Busy()) {
        m_cycle->AbortPoll();
        // Only the held input runs as the tick ends; other events wait for the event
        // loop, not for the middle of the handler that settles the bus.
        m_settling = true;
        FinishTick();
        m_settling = false;
    }
}

void TMain::ShowPaused(const QString& message)
{
    WithTimerPaused([this, &message] { showMessage(app::Title(), message, false); });
}

void TMain::WithTimerPaused(const std::function<void()>& step)
{
    // A tick that ended under the dialog would start the timer again.
    SettleBus();
    const bool wasEnabled = m_timer.isActive();
    m_timer.stop();
    try {
        step();
    } catch (...) {
        if (wasEnabled) {
            m_timer.start();
        }
        throw;
    }
    if (wasEnabled) {
        m_timer.start();
    }
}

void TMain::SaveGraphClick()
{
    WithTimerPaused([this] {
        const QString name = askSaveFile(QStringLiteral("Grafik speichern unter"),
                                         QStringLiteral("Windows-Bitmap (*.bmp)"), QStringLiteral("bmp"));
        if (name.isEmpty()) {
            return;
        }
        try {
            PageExport::SaveBitmap(name, m_parts.savedPicture());
        } catch (const QuavError& e) {
            showMessage(app::Title(), e.Message(), false);
        }
    });
}

void TMain::SaveTextClick()
{
    WithTimerPaused([this] {
        const QString name =
            askSaveFile(QStringLiteral("Text speichern unter"),
                        QStringLiteral("Textdateien (*.txt);;Alle Dateien (*)"), QStringLiteral("txt"));
        if (name.isEmpty()) {
            return;
        }
        try {
            PageExport::SaveText(name, m_parts.decoder.PageRows());
        } catch (const QuavError& e) {
            showMessage(QStringLiteral("Fehler"), e.Message(), true);
        }
    });
}

void TMain::ClipGraph()
{
    PageExport::CopyPicture(*QGuiApplication::clipboard(), Image1->CurrentImage());
}

void TMain::ClipText()
{
    SettleBus(); // the page buffer is not read while the bus work writes it
    PageExport::CopyText(*QGuiApplication::clipboard(), m_parts.decoder.PageRows());
}

void TMain::PrintClik()
{
    WithTimerPaused([this] {
        try {
            m_printPanel->ShowPrintPanel(Image1->CurrentImage());
        } catch (const QuavError& e) {
            showMessage(app::Title(), e.Message(), false);
        }
    });
}

void TMain::Druckereinrichtung1Click()
{
    WithTimerPaused([this] { m_printer.RunSetupDialog(); });
}

void TMain::PageDrawn()
{
    Image1->SetPageDrawn(true);
}

void TMain::SetTimerEnabled(bool enabled)
{
    if (m_closing) {
        return; // no tick after the window has begun to close
    }
    if (enabled) {
        m_timer.start();
    } else {
        m_timer.stop();
    }
}

bool TMain::TimerEnabled() const
{
    return m_timer.isActive();
}

void TMain::SetTimerInterval(int milliseconds)
{
    m_timer.setInterval(milliseconds);
}

int TMain::TimerInterval() const
{
    return m_timer.interval();
}

void TMain::SetStatusText(int panel, const std::string& text)
{
    if (panel >= 0 && panel < int(StatusPanels.size())) {
        StatusPanels[std::size_t(panel)]->setText(QString::fromStdString(text));
    }
}

QString TMain::StatusText(int panel) const
{
    return StatusPanels.at(std::size_t(panel))->text();
}

bool TMain::StopButtonDown() const
{
    return ButStop->isChecked();
}

void TMain::FocusMainWindow()
{
    activateWindow();
    setFocus();
}

void TMain::EnableCommands()
{
    for (QAction* a : {SaveGraph, SaveText, GraphToClip, TextToClip}) {
        a->setEnabled(true);
    }
    for (QToolButton* b : {ButSaveGraph, ButSaveText, ButCopyGraph, ButCopyText}) {
        b->setEnabled(true);
    }
    m_printPanel->Print->setEnabled(true);
}

void TMain::PageDisplayChanged(const std::vector<std::uint32_t>& pixels)
{
    QImage image(DigitStrip::DisplayWidth, DigitStrip::DisplayHeight, QImage::Format_RGB32);
    for (int y = 0; y < DigitStrip::DisplayHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < DigitStrip::DisplayWidth; ++x) {
            line[x] = 0xFF000000u | pixels[std::size_t(y * DigitStrip::DisplayWidth + x)];
        }
    }
    LetDisp->setPixmap(QPixmap::fromImage(image));
}

std::uint32_t TMain::ButtonFaceColour() const
{
    return palette().color(QPalette::Button).rgb() & 0xFFFFFFu;
}

void TMain::Beep()
{
    QApplication::beep();
}

void TMain::ProcessPendingEvents()
{
    // Page input that came while the bus worked goes first, in the order it came.
    RunHeldInput();
    if (!m_settling) {
        QCoreApplication::processEvents();
    }
}

void TMain::ReportError(const std::string& message)
{
    showMessage(app::Title(), QString::fromStdString(message), false);
}

bool TMain::eventFilter(QObject* watched, QEvent* event)
{
    // Key preview: the page keys work whichever control of this window has the focus.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const bool plain =
            (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
        if (plain && text.size() == 1 && QStringLiteral("0123456789+-*").contains(text[0])) {
            const char c = char(text[0].unicode());
            BetweenTicks([this, c] { m_selection->KeyPress(c); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace quav
