#include "ViewerBench.h"
#include "app/PageImageWidget.h"
#include "app/Viewer.h"
#include "export/PageExport.h"
#include "export/RowToText.h"
#include "render/QImageConversion.h"
#include "support/ManualClock.h"
#include "support/NamedControl.h"
#include "support/PacketBuilder.h"
#include "support/SimulatedStack.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

namespace quav {
namespace {

using namespace test;

// The viewer with page 100 on display, its save dialog and message boxes answered by the
// test.
struct ExportBench : ViewerBench
{
    ExportBench()
    {
        prompts.whilePrompting = [this] { timerDuringDialog = Main().TimerEnabled(); };
        ShowPage100();
    }
    // QUAV_KEEP_EXPORTS names a folder where the written files are kept, to look at them.
    void Keep(const std::string& name)
    {
        const QString keep = qEnvironmentVariable("QUAV_KEEP_EXPORTS");
        if (!keep.isEmpty()) {
            QFile::remove(keep + QStringLiteral("/") + QString::fromStdString(name));
            QFile::copy(QString::fromStdString(scratch.File(name)),
                        keep + QStringLiteral("/") + QString::fromStdString(name));
        }
    }
    QByteArray Read(const std::string& name)
    {
        Keep(name);
        QFile f(QString::fromStdString(scratch.File(name)));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

    /// The file name the next save dialog answers with.
    void Answer(const std::string& name)
    {
        answer = QString::fromStdString(scratch.File(name));
        prompts.saveAnswers.push_back(answer);
    }

    std::vector<QueuedPrompts::Message>& boxes = prompts.messages;
    std::vector<QueuedPrompts::SaveAsk>& asked = prompts.saveAsks;
    QString answer;
    bool timerDuringDialog = true;
};

TEST(SaveText, WritesThePageTextOfTheLastPageRead)
{
    ExportBench b;
    b.Answer("seite.txt");
    ASSERT_TRUE(b.Main().TimerEnabled());
    b.Main().SaveTextClick();
    ASSERT_EQ(b.asked.size(), 1u);
    EXPECT_EQ(b.asked[0].title, QStringLiteral("Text speichern unter"));
    EXPECT_EQ(b.asked[0].filter, QStringLiteral("Textdateien (*.txt);;Alle Dateien (*)"));
    EXPECT_FALSE(b.timerDuringDialog);
    EXPECT_TRUE(b.Main().TimerEnabled()) << "the timer gets its state back";
    const QByteArray text = b.Read("seite.txt");
    ASSERT_EQ(text.size(), 1008);
    const std::string expected = PageText(b.viewer->DecoderOps().PageRows(), 0); // page 100 is English
    EXPECT_EQ(text.toStdString(), expected);
    EXPECT_TRUE(text.startsWith("       ")) << "the header row, columns 0 to 6 blank";
    EXPECT_EQ(text.mid(40, 2), QByteArray("\r\n"));
    EXPECT_EQ(text.mid(42, 33), QByteArray("Index: Nachrichten 123, Sport 250"));
    EXPECT_TRUE(b.boxes.empty());
    b.Main().SaveGraphClick(); // cancelled
    ASSERT_EQ(b.asked.size(), 2u);
    EXPECT_EQ(b.asked[0].start, QString());
    EXPECT_EQ(b.asked[1].start, b.answer) << "the next save starts from the name chosen last";
    EXPECT_EQ(b.asked[1].suffix, QStringLiteral("bmp"));
}

TEST(SaveText, ACancelledDialogWritesNothingAndRestoresTheTimer)
{
    ExportBench b;
    b.Main().SetTimerEnabled(false);
    b.Main().SaveTextClick();
    EXPECT_FALSE(b.Main().TimerEnabled()) << "a disabled timer stays disabled";
    b.Main().SetTimerEnabled(true);
    b.Main().SaveGraphClick();
    EXPECT_TRUE(b.Main().TimerEnabled());
    EXPECT_TRUE(b.boxes.empty());
}

TEST(SaveText, AFileThatCannotBeCreatedGivesTheErrorBox)
{
    ExportBench b;
    b.Answer("fehlt/seite.txt");
    b.Main().SaveTextClick();
    ASSERT_EQ(b.boxes.size(), 1u);
    EXPECT_EQ(b.boxes[0].title, QStringLiteral("Fehler"));
    EXPECT_EQ(b.boxes[0].text, QStringLiteral("Kann Datei %1 nicht erstellen").arg(b.answer));
    EXPECT_TRUE(b.boxes[0].abort) << "one button, Abbrechen";
    EXPECT_TRUE(b.Main().TimerEnabled());
}

TEST(SaveText, AFailedSaveLeavesTheExistingFileAsItWas)
{
    // Root may write anywhere, so the refusal is tried by a child that is nobody.
    ExportBench b;
    const std::string dir = b.scratch.File("nur-lesen");
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    const std::string file = dir + "/seite.txt";
    {
        QFile old(QString::fromStdString(file));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("alter Inhalt\r\n");
    }
    chmod(file.c_str(), 0666);
    const auto rows = b.viewer->DecoderOps().PageRows();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        try {
            PageExport::SaveText(QString::fromStdString(file), rows, 4);
        } catch (const std::exception& e) {
            _exit(std::string(e.what()) == "Kann Datei " + file + " nicht erstellen" ? 0 : 1);
        }
        _exit(2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: wrong message, 2: no failure, 3: could not drop root";
    QFile old(QString::fromStdString(file));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("alter Inhalt\r\n"));
}

TEST(SaveGraph, WritesTheFourHundredByThreeHundredTwelveBitmap)
{
    ExportBench b;
    b.Answer("seite.bmp");
    b.Main().SaveGraphClick();
    ASSERT_EQ(b.asked.size(), 1u);
    EXPECT_EQ(b.asked[0].title, QStringLiteral("Grafik speichern unter"));
    EXPECT_EQ(b.asked[0].filter, QStringLiteral("Windows-Bitmap (*.bmp)"));
    const QByteArray bytes = b.Read("seite.bmp");
    ASSERT_TRUE(bytes.startsWith("BM")) << "a Windows bitmap";
    QImage saved;
    ASSERT_TRUE(saved.loadFromData(bytes, "BMP"));
    EXPECT_EQ(saved.size(), QSize(400, 312));
    const QImage page = ToQImage(b.viewer->PageRenderer().PageImage());
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32).copy(0, 0, 400, 13),
              page.convertToFormat(QImage::Format_RGB32).copy(0, 0, 400, 13))
        << "the header in the top 13 rows";
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), page.convertToFormat(QImage::Format_RGB32));
}

TEST(SaveGraph, AnUnwritablePlaceGivesTheCreateMessage)
{
    ExportBench b;
    b.Answer("fehlt/seite.bmp");
    b.Main().SaveGraphClick();
    ASSERT_EQ(b.boxes.size(), 1u);
    EXPECT_EQ(b.boxes[0].text, QStringLiteral("Kann Datei %1 nicht erstellen").arg(b.answer));
    EXPECT_TRUE(b.Main().TimerEnabled());
}

TEST(Clipboard, HoldsThePictureAndTheText)
{
    ExportBench b;
    QClipboard* clipboard = QGuiApplication::clipboard();
    b.Main().ClipGraph();
    const QImage image = clipboard->image();
    EXPECT_EQ(image.size(), QSize(400, 312));
    EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32),
              ToQImage(b.viewer->PageRenderer().PageImage()).convertToFormat(QImage::Format_RGB32));
    b.Main().ClipText();
    const QString text = clipboard->text();
    EXPECT_EQ(text.size(), 24 * 42);
    EXPECT_EQ(text.mid(42, 33), QStringLiteral("Index: Nachrichten 123, Sport 250"));
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));

    // Page 123 is French: both texts take its character set, the one the status bar names.
    for (char digit : {'1', '2', '3'}) {
        QTest::keyClick(&b.Main(), digit);
    }
    b.StepUntil([&b] {
        const auto& rows = b.viewer->DecoderOps().PageRows();
        return std::string(rows.begin() + 40, rows.begin() + 49) == "Seite 123";
    });
    b.Main().ClipText();
    EXPECT_EQ(clipboard->text().mid(2 * 42, 8), QStringLiteral("Français"));
    b.Answer("seite123.txt");
    b.Main().SaveTextClick();
    EXPECT_EQ(b.Read("seite123.txt").mid(2 * 42, 8), QByteArray("Fran\xE7"
                                                                "ais"));
}

TEST(PrintPanel, OpensInLandscapeWithTheSmallMiniatureEveryTime)
{
    ExportBench b;
    b.viewer->Printer().setOutputFormat(QPrinter::PdfFormat);
    b.viewer->Printer().setOutputFileName(QString::fromStdString(b.scratch.File("druck.pdf")));
    TDruckpanel& panel = b.viewer->PrintPanel();
    bool timerWhileOpen = true;
    b.prompts.modalSteps.push_back([&](QDialog&) {
        timerWhileOpen = b.Main().TimerEnabled();
        test::Named<QRadioButton>(panel, "Hochformat")->click();
        panel.zpluClick();
    });
    b.Main().PrintClik();
    EXPECT_FALSE(timerWhileOpen);
    EXPECT_TRUE(b.Main().TimerEnabled());
    EXPECT_FALSE(panel.Layout().Landscape);
    // Nothing queued: the panel is closed at once.
    b.Main().PrintClik();
    EXPECT_TRUE(panel.Layout().Landscape);
    EXPECT_TRUE(test::Named<QRadioButton>(panel, "Querformat")->isChecked());
    EXPECT_EQ(panel.Layout().Preview(), (PrintRect{60, 18, 50, 40}));
    EXPECT_EQ(panel.Snapshot().size(), QSize(400, 312));

    // The printer setup, from the menu and from the panel, is the system's dialog.
    b.prompts.whilePrompting = [&] { timerWhileOpen = b.Main().TimerEnabled(); };
    timerWhileOpen = true;
    b.Control<QAction>("Druckereinrichtung1")->trigger();
    EXPECT_FALSE(timerWhileOpen);
    test::Named<QPushButton>(panel, "Setup")->click();
    EXPECT_EQ(b.prompts.printerSetups, 2);
    EXPECT_TRUE(b.Main().TimerEnabled());
}

TEST(PrintPanel, PrintsThePageSnapshotCentredInPortrait)
{
    ExportBench b;
    QPrinter& printer = b.viewer->Printer();
    const QString pdf = QString::fromStdString(b.scratch.File("seite.pdf"));
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    TDruckpanel& panel = b.viewer->PrintPanel();
    b.prompts.modalSteps.push_back([&panel](QDialog&) {
        panel.HochformatClick();
        panel.Centerclick();
        panel.PrintClick();
    });
    b.Main().PrintClik();
    EXPECT_EQ(panel.Snapshot(),
              ToQImage(b.viewer->PageRenderer().PageImage()).convertToFormat(QImage::Format_RGB32));
    EXPECT_GT(b.Read("seite.pdf").size(), 1000);
    EXPECT_EQ(printer.docName(), QStringLiteral("QUAV-VideoText"));
}

TEST(PrintPanel, WithoutAPrinterTheMessageComesAndTheTimerRuns)
{
    ExportBench b;
    QPrinter& printer = b.viewer->Printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString());
    b.Main().PrintClik();
    EXPECT_EQ(b.prompts.modalRuns, 0) << "the panel does not appear";
    ASSERT_EQ(b.boxes.size(), 1u);
    EXPECT_EQ(b.boxes[0].text, QStringLiteral("Zur Zeit ist kein Standard-Drucker gewählt"));
    EXPECT_TRUE(b.Main().TimerEnabled()) << "the timer gets its state back on this path too";
}

// The bounding box of the pixels that are not white, in a PPM picture.
QRect InkBox(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) {
                box = box.united(QRect(x, y, 1, 1));
            }
        }
    }
    return box;
}

TEST(PrintPanel, APrintToPdfPlacesThePageWhereTheLayoutSays)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty()) {
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    }
    ExportBench b;
    QPrinter& printer = b.viewer->Printer();
    const QString pdf = QString::fromStdString(b.scratch.File("druck.pdf"));
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    TDruckpanel& panel = b.viewer->PrintPanel();
    // A page that is dark everywhere, so its printed rectangle shows on white paper.
    QImage dark(400, 312, QImage::Format_RGB32);
    dark.fill(QColor(0, 0, 128));
    b.prompts.modalSteps.push_back([&panel](QDialog&) {
        panel.Centerclick();
        panel.PrintClick();
    });
    panel.ShowPrintPanel(dark);
    ASSERT_TRUE(QFile::exists(pdf));

    QProcess render;
    render.start(QStringLiteral("pdftoppm"),
                 {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"),
                  QStringLiteral("-singlefile"), pdf, QString::fromStdString(b.scratch.File("druck"))});
    ASSERT_TRUE(render.waitForFinished(30000));
    QImage picture(QString::fromStdString(b.scratch.File("druck.png")));
    ASSERT_FALSE(picture.isNull());
    EXPECT_GT(picture.width(), picture.height()) << "landscape";

    // Where the arithmetic puts it: device pixels of the printable area, plus the margin,
    // in points (72 per inch) at the printer's resolution.
    const double scale = 72.0 / printer.resolution();
    const QRectF paper = printer.pageLayout().paintRectPoints();
    const PrintRect r = panel.Layout().PrintArea(printer.width(), printer.height());
    const QRect expected(int(paper.left() + r.left * scale), int(paper.top() + r.top * scale),
                         int(r.width * scale), int(r.height * scale));
    const QRect ink = InkBox(picture);
    EXPECT_NEAR(ink.left(), expected.left(), 2);
    EXPECT_NEAR(ink.top(), expected.top(), 2);
    EXPECT_NEAR(ink.width(), expected.width(), 2);
    EXPECT_NEAR(ink.height(), expected.height(), 2);
}

} // namespace
} // namespace quav

namespace quav {
namespace {

// A full disk, simulated in a child process by a file size limit: writes beyond it fail
// as they would on a full disk. The old file must survive either save.
int SaveOnFullDisk(const std::string& file, bool bitmap, const std::array<std::uint8_t, 960>& rows)
{
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = 200;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            _exit(3);
        }
        try {
            if (bitmap) {
                QImage page(400, 312, QImage::Format_RGB32);
                page.fill(Qt::blue);
                PageExport::SaveBitmap(QString::fromStdString(file), page);
            } else {
                PageExport::SaveText(QString::fromStdString(file), rows, 4);
            }
        } catch (const std::exception& e) {
            const std::string expected =
                bitmap ? "Stream-Write-Fehler" : "Kann Datei " + file + " nicht erstellen";
            _exit(e.what() == expected ? 0 : 1);
        }
        _exit(2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(FullDisk, AFailedWriteReportsItAndKeepsTheOldFile)
{
    test::ScratchDirectory scratch;
    std::array<std::uint8_t, 960> rows{};
    rows.fill('x');
    for (bool bitmap : {false, true}) {
        SCOPED_TRACE(bitmap ? "bitmap" : "text");
        const std::string file = scratch.File(bitmap ? "seite.bmp" : "seite.txt");
        {
            QFile old(QString::fromStdString(file));
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("alt");
        }
        EXPECT_EQ(SaveOnFullDisk(file, bitmap, rows), 0)
            << "1: wrong message, 2: no failure reported, 3: no file size limit";
        QFile old(QString::fromStdString(file));
        ASSERT_TRUE(old.open(QIODevice::ReadOnly));
        EXPECT_EQ(old.readAll(), QByteArray("alt"));
    }
}

} // namespace
} // namespace quav
