#pragma once

#include "export/PrintLayout.h"

#include <QDialog>
#include <QImage>

class QFrame;
class QLabel;
class QPrinter;
class QPushButton;
class QRadioButton;
class QToolButton;
class QGroupBox;

namespace quav {

class Prompts;

/// The printer that the print panel and the printer setup share for the whole run, and
/// the operations on it that can fail.
class PrinterAccess
{
public:
    PrinterAccess(QPrinter& printer, Prompts& prompts) : m_printer(printer), m_prompts(prompts) {}

    /// Sets the orientation of the next print. Throws QuavError when there is no usable
    /// printer ("Zur Zeit ist kein Standard-Drucker gewählt") or it has no settings.
    void SetOrientation(bool landscape);
    /// Prints the snapshot stretched into the rectangle that the layout gives on the
    /// printable area. Throws QuavError when the printer refuses the job.
    void PrintPage(const QImage& snapshot, const PrintLayout& layout);
    /// The system's printer setup dialog; what the user confirms is used from then on.
    void RunSetupDialog();

    QPrinter& Printer() { return m_printer; }

    static constexpr const char* JobTitle = "QUAV-VideoText";

private:
    QPrinter& m_printer;
    Prompts& m_prompts;
};

/// The print panel: a miniature of the page on the outline of the sheet, moved and zoomed
/// with the buttons, printed with "&Print".
class TDruckpanel : public QDialog
{
    Q_OBJECT

public:
    TDruckpanel(PrinterAccess& printer, Prompts& prompts, QWidget* parent = nullptr);

    /// Landscape, the small miniature, a new snapshot of the page, then shown modally.
    /// Throws QuavError when the printer cannot be set up; the panel is not shown then.
    void ShowPrintPanel(const QImage& page);
    /// The same preparation without showing the panel (for tests and ShowPrintPanel).
    void PreparePanel(const QImage& page);
    void DrawPreview();
    /// Printing becomes possible once a page has been received.
    void EnablePrint();

    void yminClick();
    void ypluClick();
    void xminClick();
    void xpluClick();
    void zminClick();
    void zpluClick();
    void QuerformatClick();
    void HochformatClick();
    void Centerclick();
    void PrintClick();
    void SetupClick();
    void HelpClick();
    void CancelClick();

    const PrintLayout& Layout() const { return m_layout; }
    const QImage& Snapshot() const { return m_snapshot; }

private:
    // The controls; each carries its name as its object name.
    QFrame* Shape1 = nullptr;
    QLabel* PImage = nullptr;
    QToolButton* Ymin = nullptr;
    QToolButton* Xmin = nullptr;
    QToolButton* Center = nullptr;
    QToolButton* XPlu = nullptr;
    QToolButton* YPlu = nullptr;
    QToolButton* ZMin = nullptr;
    QToolButton* ZPlu = nullptr;
    QRadioButton* Querformat = nullptr;
    QRadioButton* Hochformat = nullptr;
    QPushButton* Print = nullptr;
    QPushButton* Setup = nullptr;
    QPushButton* Help = nullptr;
    QPushButton* Button1 = nullptr;

    void ApplyOrientation(bool landscape);
    void SwitchOrientation(bool landscape);
    void PlaceShape();

    PrinterAccess& m_printer;
    Prompts& m_prompts;
    PrintLayout m_layout;
    QImage m_snapshot;
};

} // namespace quav
