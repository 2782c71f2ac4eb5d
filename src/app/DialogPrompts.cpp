#include "app/DialogPrompts.h"

#include "app/HelpWindow.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>

namespace quav {

QString DialogPrompts::AskSaveFile(QWidget* parent, const QString& title, const QString& start,
                                   const QString& filter, const QString& suffix)
{
    QFileDialog dialog(parent, title, start, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

void DialogPrompts::ShowMessage(QWidget* parent, const QString& title, const QString& message,
                                bool abortButton)
{
    QMessageBox box(QMessageBox::Critical, title, message, QMessageBox::NoButton, parent);
    if (abortButton) {
        box.addButton(QStringLiteral("&Abbrechen"), QMessageBox::RejectRole);
    } else {
        box.addButton(QMessageBox::Ok);
    }
    box.exec();
}

void DialogPrompts::RunPrinterSetup(QPrinter& printer)
{
    QPrintDialog dialog(&printer);
    dialog.setWindowTitle(QStringLiteral("Drucker einstellen"));
    // This dialog only chooses the printer and its options: its button confirms the
    // choice, it does not print.
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
        if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) {
            ok->setText(QStringLiteral("&Übernehmen"));
        }
    }
    dialog.exec();
}

void DialogPrompts::RunModal(QDialog& dialog)
{
    dialog.exec();
}

void DialogPrompts::ShowHelp(int context)
{
    m_help.ShowContext(context);
}

} // namespace quav
