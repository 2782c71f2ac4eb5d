#include "config/TSetup.h"

#include "config/SettingsStore.h"
#include "support/NamedControl.h"
#include "support/QueuedPrompts.h"
#include "support/SimulatedStack.h"

#include <algorithm>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace quav {
namespace {

struct DialogBench
{
    DialogBench() : store(settings, QString::fromStdString(scratch.File("QUAV.conf"))) {}
    // The dialog's controls, found by their names.
    QPushButton* ButHelp() const { return test::Named<QPushButton>(dialog, "ButHelp"); }
    QPushButton* ButSave() const { return test::Named<QPushButton>(dialog, "ButSave"); }
    QLineEdit* DelConst() const { return test::Named<QLineEdit>(dialog, "DelConst"); }
    QRadioButton* DeviceBut1() const { return test::Named<QRadioButton>(dialog, "DeviceBut1"); }
    QRadioButton* DeviceBut2() const { return test::Named<QRadioButton>(dialog, "DeviceBut2"); }
    QRadioButton* DeviceBut3() const { return test::Named<QRadioButton>(dialog, "DeviceBut3"); }
    QRadioButton* DeviceBut4() const { return test::Named<QRadioButton>(dialog, "DeviceBut4"); }
    QGroupBox* Hardware() const { return test::Named<QGroupBox>(dialog, "Hardware"); }
    QGroupBox* I2cDelay() const { return test::Named<QGroupBox>(dialog, "I2cDelay"); }
    QComboBox* LoopSel() const { return test::Named<QComboBox>(dialog, "LoopSel"); }
    QGroupBox* LoopTimer() const { return test::Named<QGroupBox>(dialog, "LoopTimer"); }
    QGroupBox* Port() const { return test::Named<QGroupBox>(dialog, "Port"); }
    QComboBox* PortSel() const { return test::Named<QComboBox>(dialog, "PortSel"); }
    QToolButton* UpDownDown() const { return test::Named<QToolButton>(dialog, "UpDownDown"); }
    QToolButton* UpDownUp() const { return test::Named<QToolButton>(dialog, "UpDownUp"); }
    QStringList Items() const
    {
        QStringList items;
        for (int i = 0; i < PortSel()->count(); ++i) {
            items << PortSel()->itemText(i);
        }
        return items;
    }
    QString Stored(const QString& key)
    {
        QSettings s(QString::fromStdString(scratch.File("QUAV.conf")), QSettings::IniFormat);
        return s.value(key).toString();
    }
    test::ScratchDirectory scratch;
    Settings settings;
    SettingsStore store;
    test::QueuedPrompts prompts;
    TSetup dialog{settings, store, prompts};
};

TEST(SettingsDialog, ShowsTheAdaptersPortListWithItsStoredChoice)
{
    DialogBench b;
    b.settings.Device = 1;
    b.settings.VDPort = 2;
    b.dialog.SetupActive();
    EXPECT_EQ(b.Items(), (QStringList{QStringLiteral("250H"), QStringLiteral("300H"), QStringLiteral("330H"),
                                      QStringLiteral("3E0H")}));
    EXPECT_EQ(b.PortSel()->currentText(), QStringLiteral("330H"));
    EXPECT_TRUE(b.DeviceBut2()->isChecked());
    b.settings.Device = 2;
    b.settings.ctsPort = 1;
    b.dialog.SetupActive();
    EXPECT_EQ(b.Items().size(), 6);
    EXPECT_EQ(b.PortSel()->currentText(), QStringLiteral("1F0H"));
    EXPECT_TRUE(b.DeviceBut3()->isChecked());
    EXPECT_FALSE(b.DeviceBut4()->isEnabled());
}

TEST(SettingsDialog, EachAdapterKeepsItsOwnPortAcrossSwitches)
{
    DialogBench b;
    b.settings.Port = 2;
    b.dialog.SetupActive();
    b.DeviceBut3()->click();
    EXPECT_EQ(b.settings.Device, 2);
    EXPECT_EQ(b.Items().first(), QStringLiteral("100H"));
    b.DeviceBut1()->click();
    EXPECT_EQ(b.PortSel()->currentText(), QStringLiteral("COM2"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(b.scratch.File("QUAV.conf"))) &&
                 !b.Stored(QStringLiteral("Config")).isEmpty())
        << "nothing is saved in between";
}

TEST(SettingsDialog, APortChoiceReachesTheRecordAtOnce)
{
    DialogBench b;
    b.dialog.SetupActive();
    b.PortSel()->setCurrentIndex(2);
    b.dialog.PortChange(2);
    EXPECT_EQ(b.settings.Port, 3);
}

TEST(SettingsDialog, ADelayThatIsNoNumberIsPutBackWhenTheFieldIsLeft)
{
    DialogBench b;
    b.dialog.SetupActive();
    b.dialog.DelConstEnter();
    b.DelConst()->setText(QStringLiteral("zwölf"));
    b.dialog.DelConstExit();
    EXPECT_EQ(b.DelConst()->text(), QStringLiteral("200"));
    b.dialog.DelConstEnter();
    b.DelConst()->setText(QStringLiteral(" 0150"));
    b.dialog.DelConstExit();
    EXPECT_EQ(b.DelConst()->text(), QStringLiteral("150"));
}

TEST(SettingsDialog, ClosingSavesTypedValuesOutsideTheArrowRange)
{
    DialogBench b;
    b.dialog.show();
    b.DelConst()->setText(QStringLiteral("5"));
    b.LoopSel()->setCurrentIndex(9);
    EXPECT_EQ(b.LoopSel()->currentText(), QStringLiteral("1 sec"));
    b.dialog.ButExitClick();
    EXPECT_EQ(b.settings.I2cDelay, 5);
    EXPECT_EQ(b.settings.LoopTime, 9);
    EXPECT_EQ(PollingInterval(b.settings).count(), 1000);
    EXPECT_EQ(b.Stored(QStringLiteral("Hardware/I2cDelay")), QStringLiteral("5"));
    EXPECT_EQ(b.Stored(QStringLiteral("Config")), QStringLiteral("11"));
}

TEST(SettingsDialog, ABadDelayKeepsTheDialogOpenAndSavesNothing)
{
    DialogBench b;
    b.dialog.show();
    b.DelConst()->setText(QStringLiteral("12a"));
    b.dialog.close();
    EXPECT_TRUE(b.dialog.isVisible());
    ASSERT_EQ(b.prompts.messages.size(), 1u);
    EXPECT_EQ(b.prompts.messages[0].text, QStringLiteral("'12a' ist kein gültiger Integerwert"));
    EXPECT_TRUE(b.Stored(QStringLiteral("Config")).isEmpty());
    b.DelConst()->setText(QStringLiteral("300"));
    b.dialog.close();
    EXPECT_FALSE(b.dialog.isVisible());
    EXPECT_EQ(b.Stored(QStringLiteral("Hardware/I2cDelay")), QStringLiteral("300"));
}

TEST(SettingsDialog, AFailedSaveNamesTheFileAndStillCloses)
{
    DialogBench b;
    // A folder where the settings file should be: nothing can be written there.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(b.scratch.File("QUAV.conf"))));
    b.dialog.show();
    b.DelConst()->setText(QStringLiteral("300"));
    b.dialog.close();
    EXPECT_FALSE(b.dialog.isVisible()) << "the dialog does not hold the user captive";
    ASSERT_EQ(b.prompts.messages.size(), 1u);
    EXPECT_TRUE(b.prompts.messages[0].text.contains(QString::fromStdString(b.scratch.File("QUAV.conf"))))
        << b.prompts.messages[0].text.toStdString();
    EXPECT_EQ(b.settings.I2cDelay, 300) << "the values hold in memory";
}

TEST(SettingsDialog, TheArrowsKeepToTenToNineHundredNinety)
{
    DialogBench b;
    b.dialog.SetupActive();
    b.DelConst()->setText(QStringLiteral("985"));
    b.UpDownUp()->click();
    EXPECT_EQ(b.DelConst()->text(), QStringLiteral("990"));
    b.UpDownUp()->click();
    EXPECT_EQ(b.DelConst()->text(), QStringLiteral("990"));
    b.DelConst()->setText(QStringLiteral("5"));
    b.UpDownDown()->click();
    EXPECT_EQ(b.DelConst()->text(), QStringLiteral("10"));
    b.UpDownUp()->click();
    EXPECT_EQ(b.DelConst()->text(), QStringLiteral("20"));
}

TEST(SettingsDialog, HandEditedValuesShowNoSelectionAndAreKept)
{
    DialogBench b;
    b.settings.Port = 7;
    b.settings.LoopTime = 42;
    b.dialog.show();
    EXPECT_EQ(b.PortSel()->currentIndex(), -1);
    EXPECT_EQ(b.LoopSel()->currentIndex(), -1);
    b.dialog.ButExitClick();
    EXPECT_FALSE(b.dialog.isVisible());
    EXPECT_EQ(b.settings.LoopTime, 42) << "no selection changes nothing";
    EXPECT_EQ(b.Stored(QStringLiteral("Hardware/LoopTime")), QStringLiteral("42"));
    b.settings.Device = 9;
    b.dialog.SetupActive();
    EXPECT_EQ(b.PortSel()->count(), 0);
    EXPECT_TRUE(b.DeviceBut1()->isChecked()) << "the radio buttons stay as they were";
}

TEST(SettingsDialog, EveryCaptionFitsAtAnyFontSize)
{
    const QFont original = QApplication::font();
    for (const int pixels : {11, 16, 24}) {
        SCOPED_TRACE(pixels);
        QFont font = original;
        font.setPixelSize(pixels);
        QApplication::setFont(font);
        DialogBench b;
        b.dialog.show();
        QApplication::processEvents();
        for (QRadioButton* r : {b.DeviceBut1(), b.DeviceBut2(), b.DeviceBut3()}) {
            EXPECT_GE(r->width(), r->sizeHint().width()) << r->text().toStdString();
        }
        for (QComboBox* c : {b.PortSel(), b.LoopSel()}) {
            const QFontMetrics m(c->font());
            const int widest = std::max(m.horizontalAdvance(QStringLiteral("COM4")),
                                        m.horizontalAdvance(QStringLiteral("400 ms")));
            EXPECT_GT(c->width(), widest) << "a combo box shows its longest entry";
        }
        for (QWidget* w : std::initializer_list<QWidget*>{b.Hardware(), b.I2cDelay(), b.LoopTimer(), b.Port(),
                                                          b.ButHelp(), b.ButSave()}) {
            EXPECT_TRUE(b.dialog.rect().contains(w->geometry())) << "inside the dialog";
        }
        b.dialog.hide();
    }
    QApplication::setFont(original);
}

TEST(SettingsDialog, TabReachesEveryControlAndComesBackRound)
{
    DialogBench b;
    b.dialog.show();
    QApplication::processEvents();
    b.DeviceBut1()->setFocus();
    std::vector<QWidget*> seen;
    for (int i = 0; i < 12; ++i) {
        seen.push_back(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{b.DeviceBut1(), b.PortSel(), b.DelConst(), b.LoopSel(),
                                                      b.ButHelp(), b.ButSave()}) {
        EXPECT_NE(std::find(seen.begin(), seen.end(), w), seen.end()) << w->objectName().toStdString();
    }
    QStringList names;
    for (QWidget* w : seen) {
        names << (w != nullptr ? w->objectName() : QStringLiteral("-"));
    }
    SCOPED_TRACE(names.join(u' ').toStdString());
    const auto save = std::find(seen.begin(), seen.end(), b.ButSave());
    ASSERT_NE(save, seen.end());
    ASSERT_NE(save + 1, seen.end());
    EXPECT_EQ(*(save + 1), b.DeviceBut1()) << "after OK comes the adapter choice again";
    // The group boxes' accelerators still lead into them.
    QApplication::setActiveWindow(&b.dialog);
    QTest::keyClick(&b.dialog, Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), b.PortSel());
    QTest::keyClick(&b.dialog, Qt::Key_I, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), b.DelConst());
}

TEST(SettingsDialog, F1OpensTheSettingsHelp)
{
    DialogBench b;
    b.dialog.show();
    QApplication::processEvents();
    QTest::keyClick(&b.dialog, Qt::Key_F1);
    EXPECT_EQ(b.prompts.helpContexts, std::vector<int>{3});
}

} // namespace
} // namespace quav
