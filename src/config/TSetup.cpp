#include "config/TSetup.h"

#include "bus/AdapterPorts.h"
#include "config/Prompts.h"
#include "config/QuavError.h"
#include "config/SettingsStore.h"

#include <algorithm>

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

namespace quav {

namespace {

QString AddressText(std::uint16_t address)
{
    return QStringLiteral("%1H").arg(address, 3, 16, QLatin1Char('0')).toUpper();
}

} // namespace

TSetup::TSetup(Settings& settings, SettingsStore& store, Prompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint), m_settings(settings), m_store(store),
      m_prompts(prompts)
{
    setWindowTitle(QStringLiteral("Einstellungen"));

    // The classic arrangement: the adapters on the left; the bus delay and the polling
    // interval on top right; the port list with the two buttons below them. Layouts instead
    // of fixed pixels, so every caption fits whatever the font and the desktop scaling.
    Hardware = new QGroupBox(QStringLiteral("Hardware"), this);
    DeviceBut1 = new QRadioButton(QStringLiteral("PC-&Videotextmodul"), Hardware);
    DeviceBut1->setChecked(true);
    DeviceBut3 = new QRadioButton(QStringLiteral("c'&t VT-Steckkarte"), Hardware);
    DeviceBut2 = new QRadioButton(QStringLiteral("&Wiegand VD3000S"), Hardware);
    DeviceBut4 = new QRadioButton(QStringLiteral("Reserviert"), Hardware);
    DeviceBut4->setEnabled(false);
    auto* devices = new QVBoxLayout(Hardware);
    for (QRadioButton* b : {DeviceBut1, DeviceBut3, DeviceBut2, DeviceBut4}) {
        devices->addWidget(b);
    }
    devices->addStretch(1);
    connect(DeviceBut1, &QRadioButton::clicked, this, [this] { DevChange(0); });
    connect(DeviceBut2, &QRadioButton::clicked, this, [this] { DevChange(1); });
    connect(DeviceBut3, &QRadioButton::clicked, this, [this] { DevChange(2); });

    I2cDelay = new QGroupBox(QStringLiteral("&I2c-Delay"), this);
    DelConst = new QLineEdit(QStringLiteral("200"), I2cDelay);
    DelConst->setMinimumWidth(DelConst->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 8);
    DelConst->installEventFilter(this);
    // The up-down arrows: 10 to 990 in steps of 10, no wrap. A typed value outside that
    // range stays as typed; only the arrows keep to it.
    UpDownUp = new QToolButton(I2cDelay);
    UpDownUp->setArrowType(Qt::UpArrow);
    UpDownUp->setAutoRepeat(true);
    UpDownUp->setFocusPolicy(Qt::NoFocus);
    UpDownDown = new QToolButton(I2cDelay);
    UpDownDown->setArrowType(Qt::DownArrow);
    UpDownDown->setAutoRepeat(true);
    UpDownDown->setFocusPolicy(Qt::NoFocus);
    for (QToolButton* arrow : {UpDownUp, UpDownDown}) {
        arrow->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
        arrow->setFixedWidth(15);
    }
    auto* arrows = new QVBoxLayout();
    arrows->setSpacing(0);
    arrows->addWidget(UpDownUp);
    arrows->addWidget(UpDownDown);
    auto* delay = new QHBoxLayout(I2cDelay);
    delay->setSpacing(0);
    delay->addWidget(DelConst);
    delay->addLayout(arrows);
    connect(UpDownUp, &QToolButton::clicked, this, [this] { StepDelay(+1); });
    connect(UpDownDown, &QToolButton::clicked, this, [this] { StepDelay(-1); });

    LoopTimer = new QGroupBox(QStringLiteral("&Loop Timer"), this);
    LoopSel = new QComboBox(LoopTimer);
    for (int i = 1; i <= 9; ++i) {
        LoopSel->addItem(QStringLiteral("%1 ms").arg(i * 100));
    }
    LoopSel->addItem(QStringLiteral("1 sec"));
    LoopSel->setMaxVisibleItems(10);
    LoopSel->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    (new QVBoxLayout(LoopTimer))->addWidget(LoopSel);

    Port = new QGroupBox(QStringLiteral("&Port"), this);
    PortSel = new QComboBox(Port);
    // Wide enough for the longest entry of any adapter ("COM4", "3F0H").
    PortSel->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    PortSel->setMinimumContentsLength(5);
    (new QVBoxLayout(Port))->addWidget(PortSel);
    connect(PortSel, &QComboBox::activated, this, [this](int index) { PortChange(index); });

    ButHelp = new QPushButton(QStringLiteral("&Hilfe"), this);
    ButHelp->setAutoDefault(false);
    connect(ButHelp, &QPushButton::clicked, this, [this] { ButHelpClick(); });
    ButSave = new QPushButton(QStringLiteral("&OK"), this);
    ButSave->setDefault(true);
    connect(ButSave, &QPushButton::clicked, this, [this] { ButExitClick(); });
    auto* buttons = new QVBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(ButHelp);
    buttons->addWidget(ButSave);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Hardware, 0, 0, 2, 1);
    grid->addWidget(I2cDelay, 0, 1);
    grid->addWidget(LoopTimer, 0, 2);
    grid->addWidget(Port, 1, 1);
    grid->addLayout(buttons, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    // Every control carries its name, for the window tests and accessibility tools.
    const std::pair<QWidget*, const char*> names[] = {
        {Hardware, "Hardware"},     {DeviceBut1, "DeviceBut1"}, {DeviceBut2, "DeviceBut2"},
        {DeviceBut3, "DeviceBut3"}, {DeviceBut4, "DeviceBut4"}, {I2cDelay, "I2cDelay"},
        {DelConst, "DelConst"},     {UpDownUp, "UpDownUp"},     {UpDownDown, "UpDownDown"},
        {LoopTimer, "LoopTimer"},   {LoopSel, "LoopSel"},       {Port, "Port"},
        {PortSel, "PortSel"},       {ButHelp, "ButHelp"},       {ButSave, "ButSave"}};
    for (const auto& [widget, name] : names) {
        widget->setObjectName(QString::fromLatin1(name));
    }

    // F1 opens the help here too, as the help button does.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { ButHelpClick(); });

    // The group boxes' own accelerators move the focus to the control inside them (QGroupBox
    // does that itself; a focus proxy on the box would put it into the tab chain a second
    // time and trap Tab among the boxes).
    // Tab goes round every control once: the adapter choice, the port, the delay, the
    // interval, help and OK, then back to the adapter choice.
    QWidget* order[] = {DeviceBut1, DeviceBut3, DeviceBut2, PortSel, DelConst, LoopSel, ButHelp, ButSave};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
}

void TSetup::showEvent(QShowEvent* event)
{
    SetupActive();
    QDialog::showEvent(event);
    // Above the main window even where no window manager keeps it there (a first start on
    // a bare X server shows the main window after the dialog).
    raise();
    activateWindow();
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) {
            raise();
        }
    });
}

void TSetup::SetupActive()
{
    m_filling = true;
    PortSel->clear();
    switch (static_cast<adapter::DeviceKind>(m_settings.Device)) {
    case adapter::DeviceKind::SerialModule:
        for (int i = 1; i <= 4; ++i) {
            PortSel->addItem(QStringLiteral("COM%1").arg(i));
        }
        PortSel->setCurrentIndex(m_settings.Port >= 1 && m_settings.Port <= 4 ? m_settings.Port - 1 : -1);
        DeviceBut1->setChecked(true);
        break;
    case adapter::DeviceKind::Vd3000s:
        for (std::uint16_t base : adapter::Vd3000sBase) {
            PortSel->addItem(AddressText(base));
        }
        PortSel->setCurrentIndex(m_settings.VDPort < adapter::Vd3000sBase.size() ? m_settings.VDPort : -1);
        DeviceBut2->setChecked(true);
        break;
    case adapter::DeviceKind::CtCard:
        for (std::uint16_t base : adapter::CtBase) {
            PortSel->addItem(AddressText(base));
        }
        PortSel->setCurrentIndex(m_settings.ctsPort < adapter::CtBase.size() ? m_settings.ctsPort : -1);
        DeviceBut3->setChecked(true);
        break;
    default:
        break; // an unknown adapter: no list, and the radio buttons stay as they were
    }
    DelConst->setText(QString::number(m_settings.I2cDelay));
    LoopSel->setCurrentIndex(m_settings.LoopTime <= 9 ? m_settings.LoopTime : -1);
    m_filling = false;
}

void TSetup::DevChange(int tag)
{
    m_settings.Device = static_cast<std::uint8_t>(tag);
    SetupActive();
}

void TSetup::PortChange(int index)
{
    if (m_filling || index < 0) {
        return;
    }
    switch (static_cast<adapter::DeviceKind>(m_settings.Device)) {
    case adapter::DeviceKind::SerialModule:
        m_settings.Port = static_cast<std::uint8_t>(index + 1);
        break;
    case adapter::DeviceKind::Vd3000s:
        m_settings.VDPort = static_cast<std::uint8_t>(index);
        break;
    case adapter::DeviceKind::CtCard:
        m_settings.ctsPort = static_cast<std::uint8_t>(index);
        break;
    default:
        break;
    }
}

void TSetup::DelConstEnter()
{
    m_rememberedDelay = DelConst->text();
}

void TSetup::DelConstExit()
{
    const auto value = SettingsStore::ParseInteger(DelConst->text().trimmed());
    if (!value) {
        DelConst->setText(m_rememberedDelay);
        QTimer::singleShot(0, DelConst, [edit = DelConst] { edit->setFocus(); });
        QApplication::beep();
        return;
    }
    DelConst->setText(QString::number(*value));
}

void TSetup::StepDelay(int direction)
{
    // The arrows start from the number in the edit, held to their own range.
    if (const auto typed = SettingsStore::ParseInteger(DelConst->text().trimmed())) {
        m_upDownPosition = std::clamp(*typed, UpDownMin, UpDownMax);
    }
    m_upDownPosition = std::clamp(m_upDownPosition + direction * UpDownStep, UpDownMin, UpDownMax);
    DelConst->setText(QString::number(m_upDownPosition));
}

void TSetup::ButExitClick()
{
    close();
}

void TSetup::ButHelpClick()
{
    m_prompts.ShowHelp(3);
}

void TSetup::ShowError(const QString& message)
{
    m_prompts.ShowMessage(this, QStringLiteral("Einstellungen"), message);
}

QString TSetup::SaveFailureText(const QString& reason) const
{
    return QStringLiteral(
               "%1\n\nDie Einstellungen konnten nicht in die Datei %2 geschrieben werden. Sie gelten "
               "bis zum Ende des Programms.")
        .arg(reason, m_store.Location());
}

bool TSetup::SetupClose()
{
    const auto delay = SettingsStore::ParseInteger(DelConst->text().trimmed());
    if (!delay) {
        ShowError(QStringLiteral("'%1' ist kein gültiger Integerwert").arg(DelConst->text()));
        return false;
    }
    m_settings.I2cDelay = *delay;
    if (LoopSel->currentIndex() >= 0) {
        m_settings.LoopTime = static_cast<std::uint8_t>(LoopSel->currentIndex());
    }
    // A store that cannot be written must not hold the dialog (and on a first start the
    // whole program) captive: the values hold in memory, and the user is told where.
    try {
        m_store.SaveSettings();
    } catch (const QuavError& e) {
        ShowError(SaveFailureText(e.Message()));
    } catch (const std::exception& e) {
        ShowError(SaveFailureText(QString::fromUtf8(e.what())));
    }
    return true;
}

void TSetup::done(int result)
{
    // Every way of closing (the OK button, the close box, Escape) ends up here, and every
    // one saves; the dialog stays open when that fails.
    if (!SetupClose()) {
        return;
    }
    QDialog::done(result);
}

bool TSetup::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == DelConst) {
        if (event->type() == QEvent::FocusIn) {
            DelConstEnter();
        } else if (event->type() == QEvent::FocusOut) {
            DelConstExit();
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace quav
