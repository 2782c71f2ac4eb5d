#pragma once

#include <QString>

class QDialog;
class QPrinter;
class QWidget;

namespace quav {

/// Everything the windows ask the user or tell the user in a dialog of their own: the
/// save dialog, message boxes, the printer setup, modal panels and the help. The windows
/// get one object for the whole run; the program's own shows Qt's dialogs and the help
/// window, the window tests answer from queues.
class Prompts
{
public:
    virtual ~Prompts() = default;

    /// Asks for a file name to save to, starting from `start`, with the file-type `filter`
    /// and the `suffix` added to a name without one. Empty: cancelled.
    virtual QString AskSaveFile(QWidget* parent, const QString& title, const QString& start,
                                const QString& filter, const QString& suffix) = 0;
    /// An error message box with one button: "OK", or "Abbrechen" when `abortButton` is set.
    virtual void ShowMessage(QWidget* parent, const QString& title, const QString& message,
                             bool abortButton = false) = 0;
    /// The system's printer setup dialog; what the user confirms is kept in `printer`.
    virtual void RunPrinterSetup(QPrinter& printer) = 0;
    /// Runs a prepared modal dialog of the program (the print panel) until it closes.
    virtual void RunModal(QDialog& dialog) = 0;
    /// Opens the help at a context: 1 the main window, 3 the settings, 5 the print panel.
    virtual void ShowHelp(int context) = 0;
};

} // namespace quav
