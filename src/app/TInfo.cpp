#include "app/TInfo.h"

#include "app/AppInfo.h"
#include "app/ToolbarGlyphs.h"

#include <utility>

#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace quav {

TInfo::TInfo(QWidget* parent) : QDialog(parent, Qt::Tool | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(QStringLiteral("Info"));
    setFixedSize(233, 193);

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(9, 8, 217, 49);
    auto* icon = new QLabel(panel);
    icon->setGeometry(16, 8, 32, 32);
    icon->setPixmap(ProgramIcon(32));

    Prog = new QLabel(QStringLiteral("???"), panel);
    QFont bold = Prog->font();
    bold.setBold(true);
    bold.setPointSize(10);
    Prog->setFont(bold);
    Prog->setAlignment(Qt::AlignCenter);
    Prog->setGeometry(48, 6, 165, 20);
    Vers = new QLabel(QStringLiteral("???"), panel);
    Vers->setAlignment(Qt::AlignCenter);
    Vers->setGeometry(48, 26, 165, 17);

    auto* written = new QLabel(QStringLiteral("Geschrieben von:"), this);
    written->setAlignment(Qt::AlignCenter);
    written->setGeometry(8, 72, 217, 17);
    Credit = new QLabel(QStringLiteral("dem QUAV-Videotext-Team\nfür alle Freunde des Videotexts"), this);
    Credit->setAlignment(Qt::AlignCenter);
    Credit->setGeometry(8, 92, 217, 40);

    Button1 = new QPushButton(QStringLiteral("&OK"), this);
    Button1->setGeometry(85, 160, 65, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    for (const auto& [widget, name] : {std::pair<QWidget*, const char*>{Prog, "Prog"},
                                       {Vers, "Vers"},
                                       {Credit, "Credit"},
                                       {Button1, "Button1"}}) {
        widget->setObjectName(QString::fromLatin1(name));
    }
}

void TInfo::Fill()
{
    Prog->setText(app::Title());
    Vers->setText(QStringLiteral("Version ") + app::Version());
}

void TInfo::Button1Click()
{
    accept();
}

} // namespace quav
