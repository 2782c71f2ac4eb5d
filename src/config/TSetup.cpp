#include "config/TSetup.h"

#include "bus/AdapterPorts.h"
#include "config/QuavError.h"
#include "config/SettingsStore.h"

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

namespace quav {

namespace {

QString AddressText(std::uint16_t address)
{
    return QStringLiteral("%1H").arg(address, 3, 16, QLatin1Char('0')).toUpper();
}

} // namespace

TSetup::TSetup(Settings& settings, SettingsStore& store, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint), m_settings(settings), m_store(store)
{
    setWindowTitle(QStringLiteral("Einstellungen"));
    setFixedSize(306, 139);

    Hardware = new QGroupBox(QStringLiteral("Hardware"), this);
    Hardware->setGeometry(8, 8, 129, 121);
    DeviceBut1 = new QRadioButton(QStringLiteral("PC-&Videotextmodul"), Hardware);
    DeviceBut1->setGeometry(8, 24, 113, 17);
    DeviceBut1->setChecked(true);
    DeviceBut3 = new QRadioButton(QStringLiteral("c'&t VT-Steckkarte"), Hardware);
    DeviceBut3->setGeometry(8, 48, 113, 17);
    DeviceBut2 = new QRadioButton(QStringLiteral("&Wiegand VD3000S"), Hardware);
    DeviceBut2->setGeometry(8, 72, 113, 17);
    DeviceBut4 = new QRadioButton(QStringLiteral("Reserviert"), Hardware);
    DeviceBut4->setGeometry(8, 96, 113, 17);
    DeviceBut4->setEnabled(false);
    connect(DeviceBut1, &QRadioButton::clicked, this, [this] { DevChange(0); });
    connect(DeviceBut2, &QRadioButton::clicked, this, [this] { DevChange(1); });
    connect(DeviceBut3, &QRadioButton::clicked, this, [this] { DevChange(2); });

    I2cDelay = new QGroupBox(QStringLiteral("&I2c-Delay"), this);
    I2cDelay->setGeometry(144, 8, 73, 57);
    DelConst = new QLineEdit(QStringLiteral("200"), I2cDelay);
    DelConst->setGeometry(8, 24, 41, 21);
    DelConst->installEventFilter(this);
    // The up-down arrows: 10 to 990 in steps of 10, no wrap. A typed value outside that
    // range stays as typed; only the arrows keep to it.
    UpDownUp = new QToolButton(I2cDelay);
    UpDownUp->setArrowType(Qt::UpArrow);
    UpDownUp->setGeometry(49, 24, 15, 11);
    UpDownUp->setAutoRepeat(true);
    UpDownUp->setFocusPolicy(Qt::NoFocus);
    UpDownDown = new QToolButton(I2cDelay);
    UpDownDown->setArrowType(Qt::DownArrow);
    UpDownDown->setGeometry(49, 35, 15, 10);
    UpDownDown->setAutoRepeat(true);
    UpDownDown->setFocusPolicy(Qt::NoFocus);
    connect(UpDownUp, &QToolButton::clicked, this, [this] { StepDelay(+1); });
    connect(UpDownDown, &QToolButton::clicked, this, [this] { StepDelay(-1); });

    LoopTimer = new QGroupBox(QStringLiteral("&Loop Timer"), this);
    LoopTimer->setGeometry(224, 8, 73, 57);
    LoopSel = new QComboBox(LoopTimer);
    LoopSel->setGeometry(8, 24, 57, 21);
    for (int i = 1; i <= 9; ++i) {
        LoopSel->addItem(QStringLiteral("%1 ms").arg(i * 100));
    }
    LoopSel->addItem(QStringLiteral("1 sec"));
    LoopSel->setMaxVisibleItems(10);

    Port = new QGroupBox(QStringLiteral("&Port"), this);
    Port->setGeometry(144, 72, 73, 57);
    PortSel = new QComboBox(Port);
    PortSel->setGeometry(8, 24, 57, 21);
    connect(PortSel, &QComboBox::activated, this, [this](int index) { PortChange(index); });

    ButHelp = new QPushButton(QStringLiteral("&Hilfe"), this);
    ButHelp->setGeometry(232, 72, 57, 25);
    ButHelp->setAutoDefault(false);
    connect(ButHelp, &QPushButton::clicked, this, [this] { ButHelpClick(); });
    ButSave = new QPushButton(QStringLiteral("&OK"), this);
    ButSave->setGeometry(232, 104, 57, 25);
    ButSave->setDefault(true);
    connect(ButSave, &QPushButton::clicked, this, [this] { ButExitClick(); });

    // The group boxes' own accelerators move the focus into them.
    I2cDelay->setFocusProxy(DelConst);
    LoopTimer->setFocusProxy(LoopSel);
    Port->setFocusProxy(PortSel);
    setTabOrder(ButSave, DeviceBut1);
    setTabOrder(DeviceBut1, DeviceBut3);
    setTabOrder(DeviceBut3, DeviceBut2);
    setTabOrder(DeviceBut2, PortSel);
    setTabOrder(PortSel, DelConst);
    setTabOrder(DelConst, LoopSel);
    setTabOrder(LoopSel, ButHelp);

    showError = [this](const QString& message) {
        QMessageBox::critical(this, QStringLiteral("Einstellungen"), message);
    };
}

void TSetup::showEvent(QShowEvent* event)
{
    SetupActive();
    QDialog::showEvent(event);
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
    if (showHelp) {
        showHelp(3);
    }
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
        showError(QStringLiteral("'%1' ist kein gültiger Integerwert").arg(DelConst->text()));
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
        showError(SaveFailureText(e.Message()));
    } catch (const std::exception& e) {
        showError(SaveFailureText(QString::fromUtf8(e.what())));
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
