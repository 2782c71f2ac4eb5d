#include "app/HelpWindow.h"

#include "app/AppInfo.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

// The help pages live in a static library, whose resources must be registered by hand.
static void InitHelpResources()
{
    Q_INIT_RESOURCE(help);
}

namespace quav {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), m_browser(new QTextBrowser(this))
{
    InitHelpResources();
    setWindowTitle(QStringLiteral("Hilfe zu QUAV-Videotext"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setOpenExternalLinks(false);
    m_browser->setSearchPaths({QStringLiteral(":/help")});
    resize(560, 620);
}

QString HelpWindow::PageOf(int context)
{
    switch (context) {
    case app::HelpSettings:
        return QStringLiteral("qrc:/help/einstellungen.html");
    case app::HelpPrint:
        return QStringLiteral("qrc:/help/drucken.html");
    default:
        return QStringLiteral("qrc:/help/index.html");
    }
}

void HelpWindow::ShowContext(int context)
{
    m_browser->setSource(QUrl(PageOf(context)));
    show();
    raise();
    activateWindow();
}

void HelpWindow::Quit()
{
    close();
}

} // namespace quav
