#pragma once

#include "config/Prompts.h"

namespace quav {

class HelpWindow;

/// The viewer's prompts: Qt's own dialogs (in German once the translations are loaded)
/// and the help window.
class DialogPrompts : public Prompts
{
public:
    explicit DialogPrompts(HelpWindow& help) : m_help(help) {}

    QString AskSaveFile(QWidget* parent, const QString& title, const QString& start, const QString& filter,
                        const QString& suffix) override;
    void ShowMessage(QWidget* parent, const QString& title, const QString& message,
                     bool abortButton) override;
    void RunPrinterSetup(QPrinter& printer) override;
    void RunModal(QDialog& dialog) override;
    void ShowHelp(int context) override;

private:
    HelpWindow& m_help;
};

} // namespace quav
