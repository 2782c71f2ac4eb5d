#pragma once

#include "config/Settings.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace quav {

class Prompts;
class SettingsStore;

/// The settings dialog "Einstellungen": adapter, its port or base address, bus delay and
/// polling interval. It edits the run's settings record in place (adapter and port at
/// once, delay and interval when it closes) and saves whenever it closes; there is no
/// cancel. A delay text that is not a number keeps the dialog open with a message.
class TSetup : public QDialog
{
    Q_OBJECT

public:
    TSetup(Settings& settings, SettingsStore& store, Prompts& prompts, QWidget* parent = nullptr);

    // Event handlers, named after their controls.
    void SetupActive();
    void DevChange(int tag);
    void PortChange(int index);
    void DelConstEnter();
    void DelConstExit();
    void ButExitClick();
    void ButHelpClick();
    /// Takes the delay and interval into the record and saves; false when the dialog must
    /// stay open (a delay that is no number). A failed save is shown, naming the file, and
    /// the dialog closes with the values kept in memory.
    bool SetupClose();

    static constexpr int UpDownMin = 10;
    static constexpr int UpDownMax = 990;
    static constexpr int UpDownStep = 10;

public Q_SLOTS:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The controls; each carries its name as its object name.
    QRadioButton* DeviceBut1 = nullptr;
    QRadioButton* DeviceBut2 = nullptr;
    QRadioButton* DeviceBut3 = nullptr;
    QRadioButton* DeviceBut4 = nullptr;
    QGroupBox* Hardware = nullptr;
    QGroupBox* I2cDelay = nullptr;
    QGroupBox* LoopTimer = nullptr;
    QGroupBox* Port = nullptr;
    QLineEdit* DelConst = nullptr;
    QToolButton* UpDownUp = nullptr;
    QToolButton* UpDownDown = nullptr;
    QComboBox* LoopSel = nullptr;
    QComboBox* PortSel = nullptr;
    QPushButton* ButHelp = nullptr;
    QPushButton* ButSave = nullptr;

    void StepDelay(int direction);
    QString SaveFailureText(const QString& reason) const;
    void ShowError(const QString& message);

    Settings& m_settings;
    SettingsStore& m_store;
    Prompts& m_prompts;
    QString m_rememberedDelay;
    bool m_filling = false;
    int m_upDownPosition = 200;
};

} // namespace quav
