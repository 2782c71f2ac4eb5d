#include "app/TMain.h"

#include "app/AppInfo.h"
#include "app/HelpWindow.h"
#include "app/PageImageWidget.h"
#include "app/TInfo.h"
#include "app/ToolbarGlyphs.h"
#include "config/Prompts.h"
#include "config/QuavError.h"
#include "config/SettingsStore.h"
#include "config/TSetup.h"
#include "export/PageExport.h"
#include "export/TDruckpanel.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSocketNotifier>
#include <QToolButton>

namespace quav {

namespace {

QToolButton* SpeedButton(QWidget* parent, Glyph glyph, const QString& hint, int w)
{
    auto* b = new QToolButton(parent);
    b->setFixedSize(w, 23);
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

TMain::TMain(MainParts parts, PrinterAccess& printer, HelpWindow& help, Prompts& prompts, QWidget* parent)
    : QMainWindow(parent), m_parts(std::move(parts)), m_printer(printer), m_help(help), m_prompts(prompts)
{
    setWindowIcon(QIcon(ProgramIcon(32)));
    auto* client = new QWidget(this);
    setCentralWidget(client);
    BuildMenu();
    BuildControls(client);
    NameControls();
    if (m_parts.shownImage) {
        Image1->screenSource = m_parts.shownImage;
    }
    if (m_parts.viewStore != nullptr) {
        SetZoom(m_parts.viewStore->LoadZoom(), false);
    }

    m_cycle = std::make_unique<AcquisitionCycle>(*this, m_parts.decoder, m_parts.renderer, m_parts.store,
                                                 m_parts.settings);
    m_selection = std::make_unique<PageSelection>(*m_cycle, m_parts.renderer);
    m_worker = std::make_unique<PollWorker>();
    if (m_worker->EndedFd() >= 0) {
        m_workerEnded = std::make_unique<QSocketNotifier>(m_worker->EndedFd(), QSocketNotifier::Read, this);
        connect(m_workerEnded.get(), &QSocketNotifier::activated, this, [this] {
            m_worker->ClearEnded();
            if (m_worker->Done()) {
                FinishTick();
            }
        });
    }
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, [this] { Tim(); });

    m_help.SetAnchor(this);

    qApp->installEventFilter(this);
    MainStart();
}

TMain::~TMain()
{
    // The bus work may still hold the cycle; it ends (cut short) before anything goes.
    if (m_worker && m_worker->Busy()) {
        m_cycle->AbortPoll();
    }
    m_workerEnded.reset();
    m_worker.reset();
    qApp->removeEventFilter(this);
}

void TMain::SetDialogs(TSetup& setup, TInfo& info, TDruckpanel& printPanel)
{
    m_setup = &setup;
    m_info = &info;
    m_printPanel = &printPanel;
}

void TMain::NameControls()
{
    const std::pair<QObject*, const char*> named[] = {
        {ButExit, "ButExit"},
        {ButPrint, "ButPrint"},
        {ButSaveGraph, "ButSaveGraph"},
        {ButSaveText, "ButSaveText"},
        {ButCopyGraph, "ButCopyGraph"},
        {ButCopyText, "ButCopyText"},
        {ButHidden, "ButHidden"},
        {ButStop, "ButStop"},
        {ButHelp, "ButHelp"},
        {Image1, "Image1"},
        {LetDisp, "LetDisp"},
        {ButMin, "ButMin"},
        {ButPlus, "ButPlus"},
        {But100, "But100"},
        {ButTop, "ButTop"},
        {SaveGraph, "SaveGraph"},
        {SaveText, "SaveText"},
        {GraphToClip, "GraphToClip"},
        {TextToClip, "TextToClip"},
        {Drucken1, "Drucken1"},
        {Druckereinrichtung1, "Druckereinrichtung1"},
        {Konfig, "Konfig"},
        {Beenden1, "Beenden1"},
        {HilfezuQUAVVideotext1, "HilfezuQUAVVideotext1"},
        {Info1, "Info1"},
        {Vollbild, "Vollbild"},
    };
    for (const auto& [control, name] : named) {
        control->setObjectName(QLatin1String(name));
    }
    for (std::size_t i = 0; i < DigitButtons.size(); ++i) {
        DigitButtons[i]->setObjectName(QStringLiteral("But%1").arg(i));
    }
    for (std::size_t i = 0; i < StatusPanels.size(); ++i) {
        StatusPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    }
    // Zoom0 fits the page to the window; Zoom1 to Zoom4 are the fixed zooms.
    for (QAction* a : m_zoomActions) {
        a->setObjectName(QStringLiteral("Zoom%1").arg(a->data().toInt()));
    }
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

    QMenu* ansicht = menuBar()->addMenu(QStringLiteral("&Ansicht"));
    QMenu* zoom = ansicht->addMenu(QStringLiteral("&Zoom"));
    const std::pair<int, QString> zooms[] = {{0, QStringLiteral("&Passend")},
                                             {1, QStringLiteral("&1-fach (400 x 312)")},
                                             {2, QStringLiteral("&2-fach (800 x 624)")},
                                             {3, QStringLiteral("&3-fach (1200 x 936)")},
                                             {4, QStringLiteral("&4-fach (1600 x 1248)")}};
    for (const auto& [factor, caption] : zooms) {
        QAction* a = zoom->addAction(caption, this, [this, factor] { SetZoom(factor, true); });
        a->setCheckable(true);
        a->setData(factor);
        a->setChecked(factor == 0);
        m_zoomActions.push_back(a);
    }
    Vollbild = ansicht->addAction(QStringLiteral("&Vollbild"), this, [this] { ToggleFullScreen(); });
    Vollbild->setCheckable(true);
    Vollbild->setShortcut(QKeySequence(Qt::Key_F11));

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
    for (QAction* a : {GraphToClip, TextToClip, Beenden1, HilfezuQUAVVideotext1, Vollbild}) {
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
    // The toolbar, the page beside the keypad, and the status bar, one above the other. The
    // page takes whatever room the window gives; the keypad keeps its size.
    auto* rows = new QVBoxLayout(client);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);

    auto* bevel = new QFrame(client);
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    rows->addWidget(bevel);

    auto* toolbar = new QHBoxLayout();
    toolbar->setContentsMargins(8, 4, 8, 4);
    toolbar->setSpacing(0);
    rows->addLayout(toolbar);
    ButExit = SpeedButton(client, Glyph::Exit, QStringLiteral("Ende"), 25);
    ButPrint = SpeedButton(client, Glyph::Print, QStringLiteral("Drucken"), 23);
    ButSaveGraph = SpeedButton(client, Glyph::SavePicture, QStringLiteral("Grafik speichern"), 23);
    ButSaveText = SpeedButton(client, Glyph::SaveText, QStringLiteral("Text speichern"), 23);
    ButCopyGraph = SpeedButton(client, Glyph::CopyPicture, QStringLiteral("Grafik ins Clipboard"), 23);
    ButCopyText = SpeedButton(client, Glyph::CopyText, QStringLiteral("Text ins Clipboard"), 23);
    ButHidden = SpeedButton(client, Glyph::Reveal, QStringLiteral("Versteckte Zeichen aufdecken"), 23);
    ButStop = SpeedButton(client, Glyph::Stop, QStringLiteral("Seitenaufbau stoppen"), 23);
    ButHelp = SpeedButton(client, Glyph::Help, QStringLiteral("Hilfe"), 23);
    // Groups as on the old toolbar: exit | print | save | copy | reveal and stop ... help.
    toolbar->addWidget(ButExit);
    toolbar->addSpacing(7);
    toolbar->addWidget(ButPrint);
    toolbar->addSpacing(8);
    toolbar->addWidget(ButSaveGraph);
    toolbar->addWidget(ButSaveText);
    toolbar->addSpacing(8);
    toolbar->addWidget(ButCopyGraph);
    toolbar->addWidget(ButCopyText);
    toolbar->addSpacing(9);
    toolbar->addWidget(ButHidden);
    toolbar->addWidget(ButStop);
    toolbar->addStretch(1);
    toolbar->addWidget(ButHelp);
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
    // Reveal draws the rows on screen again from the bytes they were drawn from, at once and
    // without the bus. The stop button's state is read when a tick draws, so holding its
    // release back until the tick has ended still stops the drawing at once; what was read
    // meanwhile is drawn from the decoder's buffers then.
    connect(ButHidden, &QToolButton::clicked, this,
            [this] { m_selection->ButHiddenClick(ButHidden->isChecked()); });
    connect(ButStop, &QToolButton::clicked, this, [this] {
        const bool down = ButStop->isChecked();
        BetweenTicks([this, down] { m_selection->ButStopClick(down); });
    });
    connect(ButHelp, &QToolButton::clicked, this, [this] { ButHelpClick(); });

    auto* middle = new QHBoxLayout();
    middle->setContentsMargins(8, 0, 8, 7);
    middle->setSpacing(7);
    rows->addLayout(middle, 1);

    m_pagePanel = new QFrame(client);
    m_pagePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pagePanel->setLineWidth(1);
    m_pagePanel->setAutoFillBackground(true);
    QPalette black = m_pagePanel->palette();
    black.setColor(QPalette::Window, Qt::black);
    m_pagePanel->setPalette(black);
    auto* pageLayout = new QHBoxLayout(m_pagePanel);
    pageLayout->setContentsMargins(4, 4, 4, 4);
    Image1 = new PageImageWidget(m_pagePanel);
    pageLayout->addWidget(Image1);
    Image1->pageSource = m_parts.pageImage;
    Image1->onMouseMove = [this](int x, int y) {
        BetweenTicks([this, x, y] { m_selection->mposition(x, y); });
    };
    Image1->onClick = [this] { BetweenTicks([this] { m_selection->PageClick(); }); };
    middle->addWidget(m_pagePanel, 1);

    QFrame* panel3 = Panel(client, 0, 0, 88, 322);
    panel3->setFixedWidth(88);
    panel3->setMinimumHeight(322);
    panel3->setAutoFillBackground(true);
    QPalette workspace = panel3->palette();
    workspace.setColor(QPalette::Window, palette().color(QPalette::Dark));
    panel3->setPalette(workspace);
    middle->addWidget(panel3, 0, Qt::AlignTop);
    QFrame* panel2 = Panel(panel3, 8, 8, 71, 25);
    LetDisp = new QLabel(panel2);
    LetDisp->setGeometry(15, 2, 41, 21);

    const int columns[] = {8, 32, 56};
    const int keyRows[] = {40, 64, 88};
    for (int i = 1; i <= 9; ++i) {
        DigitButtons[std::size_t(i)] =
            KeypadButton(panel3, QString::number(i), i, columns[(i - 1) % 3], keyRows[(i - 1) / 3], 24);
    }
    ButMin = KeypadButton(panel3, QStringLiteral("-"), PageSelection::PreviousPage, 8, 112, 24);
    DigitButtons[0] = KeypadButton(panel3, QStringLiteral("0"), 0, 32, 112, 24);
    ButPlus = KeypadButton(panel3, QStringLiteral("+"), PageSelection::NextPage, 56, 112, 24);
    But100 = KeypadButton(panel3, QStringLiteral("100"), PageSelection::IndexPage, 8, 136, 72);
    m_butSubPrev = KeypadButton(panel3, QStringLiteral("<"), PageSelection::PreviousSubpage, 8, 166, 36);
    m_butSubPrev->setObjectName(QStringLiteral("ButSubPrev"));
    m_butSubPrev->setToolTip(QStringLiteral("Vorige Unterseite (Strg+Links)"));
    m_butSubNext = KeypadButton(panel3, QStringLiteral(">"), PageSelection::NextSubpage, 44, 166, 36);
    m_butSubNext->setObjectName(QStringLiteral("ButSubNext"));
    m_butSubNext->setToolTip(
        QStringLiteral("Nächste Unterseite (Strg+Rechts); \"/\" und Ziffern wählen eine"));
    ButTop = new QPushButton(QStringLiteral("TOP"), panel3);
    ButTop->setGeometry(24, 240, 41, 25);
    ButTop->setProperty("Tag", int(PageSelection::TopPage));
    ButTop->hide(); // never shown; its page is reached by typing 1F0 nowhere but here
    connect(ButTop, &QPushButton::clicked, this,
            [this] { BetweenTicks([this] { m_selection->But1Click(PageSelection::TopPage); }); });

    auto* status = new QHBoxLayout();
    status->setContentsMargins(0, 0, 0, 0);
    status->setSpacing(0);
    rows->addLayout(status);
    const int widths[] = {250, 45, 80, 50};
    for (std::size_t i = 0; i < StatusPanels.size(); ++i) {
        auto* label = new QLabel(client);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment(Qt::AlignCenter);
        QFont bold = label->font();
        bold.setBold(true);
        label->setFont(bold);
        label->setFixedHeight(19);
        label->setMinimumWidth(widths[i]);
        // The first panel and the last take the room a wider window gives; the subpage and
        // character-set panels keep their width.
        status->addWidget(label, i == 0 || i + 1 == StatusPanels.size() ? 1 : 0);
        StatusPanels[i] = label;
    }
}

void TMain::SetZoom(int zoom, bool remember)
{
    Image1->SetZoom(zoom);
    const int chosen = Image1->Zoom();
    for (QAction* a : m_zoomActions) {
        a->setChecked(a->data().toInt() == chosen);
    }
    if (chosen != 0 && !isMaximized() && !isFullScreen()) {
        // A fixed zoom brings the window to the size it needs.
        adjustSize();
    }
    if (remember && m_parts.viewStore != nullptr && !m_parts.viewStore->SaveZoom(chosen)) {
        SetStatusText(0, "Zoom nicht gespeichert");
    }
}

void TMain::ToggleFullScreen()
{
    if (isFullScreen()) {
        showNormal();
    } else {
        showFullScreen();
    }
    Vollbild->setChecked(isFullScreen());
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
    // A dialog laid out by its layouts knows its size only once the layout has run.
    dialog.ensurePolished();
    if (dialog.layout() != nullptr) {
        dialog.layout()->activate();
    }
    dialog.adjustSize();
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
    m_prompts.ShowHelp(app::HelpMain);
}

void TMain::Tim()
{
    if (m_worker->Busy()) {
        if (m_worker->EndedFd() < 0 && m_worker->Done()) {
            FinishTick(); // without the descriptor the timer asks
        }
        return; // ticks never overlap
    }
    m_cycle->Tim();
    if (!m_worker->Busy()) {
        Q_EMIT TickEnded();
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
    Q_EMIT TickEnded();
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
    WithTimerPaused([this, &message] { m_prompts.ShowMessage(this, app::Title(), message, false); });
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
        const QString name = AskSaveFile(QStringLiteral("Grafik speichern unter"),
                                         QStringLiteral("Windows-Bitmap (*.bmp)"), QStringLiteral("bmp"));
        if (name.isEmpty()) {
            return;
        }
        try {
            PageExport::SaveBitmap(name, m_parts.savedPicture());
        } catch (const QuavError& e) {
            m_prompts.ShowMessage(this, app::Title(), e.Message(), false);
        }
    });
}

void TMain::SaveTextClick()
{
    WithTimerPaused([this] {
        const QString name =
            AskSaveFile(QStringLiteral("Text speichern unter"),
                        QStringLiteral("Textdateien (*.txt);;Alle Dateien (*)"), QStringLiteral("txt"));
        if (name.isEmpty()) {
            return;
        }
        try {
            // What is saved is what is shown, also while the stop button holds the page.
            PageExport::SaveText(name, m_parts.renderer.ShownPageRows(),
                                 m_parts.renderer.ShownNationalOption());
        } catch (const QuavError& e) {
            m_prompts.ShowMessage(this, QStringLiteral("Fehler"), e.Message(), true);
        }
    });
}

QString TMain::AskSaveFile(const QString& title, const QString& filter, const QString& suffix)
{
    // Both saves start from the last file name chosen.
    const QString name = m_prompts.AskSaveFile(this, title, m_lastSaveName, filter, suffix);
    if (!name.isEmpty()) {
        m_lastSaveName = name;
    }
    return name;
}

void TMain::UpdatePageArea(const QRect& area)
{
    Image1->UpdatePageArea(area);
}

void TMain::ClipGraph()
{
    PageExport::CopyPicture(*QGuiApplication::clipboard(), Image1->CurrentImage());
}

void TMain::ClipText()
{
    // The rows on screen belong to the renderer, which the bus work does not touch.
    PageExport::CopyText(*QGuiApplication::clipboard(), m_parts.renderer.ShownPageRows(),
                         m_parts.renderer.ShownNationalOption());
}

void TMain::PrintClik()
{
    WithTimerPaused([this] {
        try {
            m_printPanel->ShowPrintPanel(Image1->CurrentImage());
        } catch (const QuavError& e) {
            m_prompts.ShowMessage(this, app::Title(), e.Message(), false);
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
    m_printPanel->EnablePrint();
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
    m_prompts.ShowMessage(this, app::Title(), QString::fromStdString(message), false);
}

int TMain::EntryCode(int key, Qt::KeyboardModifiers modifiers)
{
    const Qt::KeyboardModifiers held = modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (held == Qt::AltModifier && key == Qt::Key_Left) {
        return PageSelection::GoBack;
    }
    if (held == Qt::ControlModifier) {
        if (key == Qt::Key_Right) {
            return PageSelection::NextSubpage;
        }
        if (key == Qt::Key_Left) {
            return PageSelection::PreviousSubpage;
        }
        return -1;
    }
    if (held != 0) {
        return -1;
    }
    switch (key) {
    case Qt::Key_PageUp:
    case Qt::Key_Up:
        return PageSelection::NextPage;
    case Qt::Key_PageDown:
    case Qt::Key_Down:
        return PageSelection::PreviousPage;
    case Qt::Key_Backspace:
        return PageSelection::EraseDigit;
    case Qt::Key_Escape:
        return PageSelection::CancelEntry;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return PageSelection::EndEntry;
    default:
        return -1;
    }
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
        if (plain && text.size() == 1 && QStringLiteral("0123456789+-*/ABCDEFabcdef").contains(text[0])) {
            const char c = char(text[0].unicode());
            BetweenTicks([this, c] { m_selection->KeyPress(c); });
            return true;
        }
        if (const int code = EntryCode(key->key(), key->modifiers()); code >= 0) {
            BetweenTicks([this, code] { m_selection->PageKey(std::uint8_t(code)); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace quav
