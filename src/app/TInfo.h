#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace quav {

/// The about box: program title, version and credits.
class TInfo : public QDialog
{
    Q_OBJECT

public:
    explicit TInfo(QWidget* parent = nullptr);

    /// Fills the title and version labels; done each time the box is opened.
    void Fill();
    void Button1Click();

private:
    // The controls; each carries its name as its object name.
    QLabel* Prog = nullptr;
    QLabel* Vers = nullptr;
    QLabel* Credit = nullptr;
    QPushButton* Button1 = nullptr;
};

} // namespace quav
