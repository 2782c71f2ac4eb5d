#include "export/TDruckpanel.h"

#include "config/Prompts.h"
#include "config/QuavError.h"

#include <utility>

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QToolButton>

namespace quav {

namespace {

enum class PanelGlyph
{
    Up,
    Down,
    Left,
    Right,
    Centre,
    Small,
    Large
};

QIcon DrawPanelGlyph(PanelGlyph glyph)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    const auto triangle = [&p](QPointF a, QPointF b, QPointF c) {
        QPainterPath path;
        path.moveTo(a);
        path.lineTo(b);
        path.lineTo(c);
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (glyph) {
    case PanelGlyph::Up:
        triangle({8, 3}, {2, 12}, {14, 12});
        break;
    case PanelGlyph::Down:
        triangle({8, 13}, {2, 4}, {14, 4});
        break;
    case PanelGlyph::Left:
        triangle({3, 8}, {12, 2}, {12, 14});
        break;
    case PanelGlyph::Right:
        triangle({13, 8}, {4, 2}, {4, 14});
        break;
    case PanelGlyph::Centre:
        triangle({8, 0}, {5, 4}, {11, 4});
        triangle({8, 16}, {5, 12}, {11, 12});
        triangle({0, 8}, {4, 5}, {4, 11});
        triangle({16, 8}, {12, 5}, {12, 11});
        p.drawRect(7, 4, 2, 8);
        p.drawRect(4, 7, 8, 2);
        break;
    case PanelGlyph::Small:
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawRect(5, 5, 5, 5);
        break;
    case PanelGlyph::Large:
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawRect(1, 1, 13, 13);
        break;
    }
    p.end();
    return QIcon(QPixmap::fromImage(image));
}

QToolButton* SpeedButton(QWidget* parent, int x, int y, PanelGlyph glyph)
{
    auto* b = new QToolButton(parent);
    b->setGeometry(x, y, 25, 25);
    b->setIcon(DrawPanelGlyph(glyph));
    b->setAutoRaise(false);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

} // namespace

void PrinterAccess::SetOrientation(bool landscape)
{
    if (m_printer.outputFormat() == QPrinter::PdfFormat && m_printer.outputFileName().isEmpty()) {
        // Without a printer Qt falls back to PDF output, which needs a file named in the
        // printer setup first.
        throw QuavError(QStringLiteral("Zur Zeit ist kein Standard-Drucker gewählt"));
    }
    if (!m_printer.isValid()) {
        throw QuavError(QStringLiteral("Operation auf ausgewähltem Drucker nicht verfügbar"));
    }
    m_printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

void PrinterAccess::PrintPage(const QImage& snapshot, const PrintLayout& layout)
{
    m_printer.setDocName(QString::fromLatin1(JobTitle));
    m_printer.setFullPage(false);
    QPainter painter;
    if (!painter.begin(&m_printer)) {
        throw QuavError(QStringLiteral("Der Drucker hat den Druckauftrag nicht angenommen."));
    }
    // The printable area in device pixels, as the job sees it with its orientation.
    const PrintRect r = layout.PrintArea(m_printer.width(), m_printer.height());
    painter.drawImage(QRect(r.left, r.top, r.width, r.height), snapshot);
    painter.end();
}

void PrinterAccess::RunSetupDialog()
{
    m_prompts.RunPrinterSetup(m_printer);
}

TDruckpanel::TDruckpanel(PrinterAccess& printer, Prompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint), m_printer(printer), m_prompts(prompts)
{
    setWindowTitle(QStringLiteral("Druckpanel"));
    setFixedSize(267, 306);

    Shape1 = new QFrame(this);
    Shape1->setStyleSheet(QStringLiteral("background: white; border: 1px solid black;"));
    PImage = new QLabel(this);
    PImage->setScaledContents(true);

    auto* position = new QGroupBox(QStringLiteral("Position"), this);
    position->setGeometry(8, 176, 89, 121);
    Ymin = SpeedButton(position, 32, 32, PanelGlyph::Up);
    Xmin = SpeedButton(position, 8, 56, PanelGlyph::Left);
    Center = SpeedButton(position, 32, 56, PanelGlyph::Centre);
    XPlu = SpeedButton(position, 56, 56, PanelGlyph::Right);
    YPlu = SpeedButton(position, 32, 80, PanelGlyph::Down);
    auto* zoom = new QGroupBox(QStringLiteral("Zoom"), this);
    zoom->setGeometry(104, 176, 81, 57);
    ZMin = SpeedButton(zoom, 8, 24, PanelGlyph::Small);
    ZPlu = SpeedButton(zoom, 48, 24, PanelGlyph::Large);
    auto* format = new QGroupBox(QStringLiteral("Format"), this);
    format->setGeometry(104, 240, 81, 57);
    auto* action = new QGroupBox(QStringLiteral("Aktion"), this);
    action->setGeometry(192, 176, 65, 121);

    // The radio buttons and the buttons lie on the panel itself, over their group boxes.
    Querformat = new QRadioButton(QStringLiteral("Quer"), this);
    Querformat->setGeometry(120, 256, 49, 17);
    Querformat->setChecked(true);
    Hochformat = new QRadioButton(QStringLiteral("Hoch"), this);
    Hochformat->setGeometry(120, 272, 49, 17);
    Print = new QPushButton(QStringLiteral("&Print"), this);
    Print->setGeometry(200, 200, 49, 17);
    Print->setEnabled(false);
    Setup = new QPushButton(QStringLiteral("&Setup"), this);
    Setup->setGeometry(200, 224, 49, 17);
    Help = new QPushButton(QStringLiteral("&Help"), this);
    Help->setGeometry(200, 248, 49, 17);
    Button1 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button1->setGeometry(200, 272, 49, 17);
    for (QPushButton* b : {Print, Setup, Help, Button1}) {
        b->setAutoDefault(false);
    }
    setTabOrder(Print, Setup);
    setTabOrder(Setup, Help);
    setTabOrder(Help, Button1);
    setTabOrder(Button1, Querformat);
    setTabOrder(Querformat, Hochformat);

    connect(Ymin, &QToolButton::clicked, this, [this] { yminClick(); });
    connect(YPlu, &QToolButton::clicked, this, [this] { ypluClick(); });
    connect(Xmin, &QToolButton::clicked, this, [this] { xminClick(); });
    connect(XPlu, &QToolButton::clicked, this, [this] { xpluClick(); });
    connect(ZMin, &QToolButton::clicked, this, [this] { zminClick(); });
    connect(ZPlu, &QToolButton::clicked, this, [this] { zpluClick(); });
    connect(Center, &QToolButton::clicked, this, [this] { Centerclick(); });
    connect(Querformat, &QRadioButton::clicked, this, [this] { QuerformatClick(); });
    connect(Hochformat, &QRadioButton::clicked, this, [this] { HochformatClick(); });
    connect(Print, &QPushButton::clicked, this, [this] { PrintClick(); });
    connect(Setup, &QPushButton::clicked, this, [this] { SetupClick(); });
    connect(Help, &QPushButton::clicked, this, [this] { HelpClick(); });
    // F1 opens the help here too, as the help button does.
    auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(helpKey, &QShortcut::activated, this, [this] { HelpClick(); });
    connect(Button1, &QPushButton::clicked, this, [this] { CancelClick(); });

    // Every control carries its name, for the window tests and accessibility tools.
    const std::pair<QWidget*, const char*> names[] = {{Shape1, "Shape1"},
                                                      {PImage, "PImage"},
                                                      {Ymin, "Ymin"},
                                                      {Xmin, "Xmin"},
                                                      {Center, "Center"},
                                                      {XPlu, "XPlu"},
                                                      {YPlu, "YPlu"},
                                                      {ZMin, "ZMin"},
                                                      {ZPlu, "ZPlu"},
                                                      {Querformat, "Querformat"},
                                                      {Hochformat, "Hochformat"},
                                                      {Print, "Print"},
                                                      {Setup, "Setup"},
                                                      {Help, "Help"},
                                                      {Button1, "Button1"}};
    for (const auto& [widget, name] : names) {
        widget->setObjectName(QString::fromLatin1(name));
    }

    PlaceShape();
}

void TDruckpanel::EnablePrint()
{
    Print->setEnabled(true);
}

void TDruckpanel::PlaceShape()
{
    const PrintRect& s = m_layout.Shape;
    Shape1->setGeometry(s.left, s.top, s.width, s.height);
}

void TDruckpanel::ApplyOrientation(bool landscape)
{
    m_printer.SetOrientation(landscape);
    if (landscape) {
        m_layout.SetLandscape();
    } else {
        m_layout.SetPortrait();
    }
    PlaceShape();
}

void TDruckpanel::PreparePanel(const QImage& page)
{
    ApplyOrientation(true);
    Querformat->setChecked(true);
    // A plain copy of the 400 x 312 page as it is on screen now; the panel prints this
    // snapshot, whatever the page does meanwhile.
    m_snapshot = page.copy(0, 0, 400, 312).convertToFormat(QImage::Format_RGB32);
    DrawPreview();
}

void TDruckpanel::ShowPrintPanel(const QImage& page)
{
    PreparePanel(page);
    m_prompts.RunModal(*this);
}

void TDruckpanel::DrawPreview()
{
    PImage->hide();
    PImage->setPixmap(QPixmap::fromImage(m_snapshot));
    PImage->setGeometry(m_layout.PreviewLeft, m_layout.PreviewTop, m_layout.PreviewWidth,
                        m_layout.PreviewHeight);
    PImage->raise();
    PImage->show();
}

void TDruckpanel::yminClick()
{
    m_layout.ymin();
    DrawPreview();
}

void TDruckpanel::ypluClick()
{
    m_layout.yplu();
    DrawPreview();
}

void TDruckpanel::xminClick()
{
    m_layout.xmin();
    DrawPreview();
}

void TDruckpanel::xpluClick()
{
    m_layout.xplu();
    DrawPreview();
}

void TDruckpanel::zminClick()
{
    m_layout.zmin();
    DrawPreview();
}

void TDruckpanel::zpluClick()
{
    m_layout.zplu();
    DrawPreview();
}

void TDruckpanel::QuerformatClick()
{
    SwitchOrientation(true);
}

void TDruckpanel::HochformatClick()
{
    SwitchOrientation(false);
}

void TDruckpanel::SwitchOrientation(bool landscape)
{
    if (m_layout.Landscape == landscape) {
        return; // already selected: nothing changes
    }
    try {
        ApplyOrientation(landscape);
    } catch (const QuavError& e) {
        (landscape ? Hochformat : Querformat)->setChecked(true);
        m_prompts.ShowMessage(this, QStringLiteral("QUAV-Videotext"), e.Message());
        return;
    }
    DrawPreview();
}

void TDruckpanel::Centerclick()
{
    m_layout.Center();
    DrawPreview();
}

void TDruckpanel::PrintClick()
{
    try {
        m_printer.PrintPage(m_snapshot, m_layout);
    } catch (const QuavError& e) {
        m_prompts.ShowMessage(this, QStringLiteral("QUAV-Videotext"), e.Message());
        return; // the panel stays open, so the user can choose another printer
    }
    close();
}

void TDruckpanel::SetupClick()
{
    m_printer.RunSetupDialog();
}

void TDruckpanel::HelpClick()
{
    m_prompts.ShowHelp(5);
}

void TDruckpanel::CancelClick()
{
    close();
}

} // namespace quav
