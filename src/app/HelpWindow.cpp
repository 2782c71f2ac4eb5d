#include "app/HelpWindow.h"

#include "app/AppInfo.h"

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>
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

void HelpWindow::SetAnchor(const QWidget* anchor)
{
    m_anchor = anchor;
}

void HelpWindow::PlaceBesideAnchor()
{
    const QScreen* screen = m_anchor != nullptr ? m_anchor->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    // A page of help text reads well at about 80 characters by 40 lines.
    const int width = std::min(fontMetrics().averageCharWidth() * 84 + 40, area.width());
    const int height = std::min(std::max(fontMetrics().lineSpacing() * 40, 560), area.height() - 40);
    resize(std::max(width, 200), std::max(height, 200));
    if (m_anchor == nullptr) {
        move(area.center() - rect().center());
        return;
    }
    // Beside the main window: right of it, or left of it, or at the screen's right edge
    // when neither side has room.
    const QRect main = m_anchor->frameGeometry();
    int x = main.right() + 8;
    if (x + this->width() > area.right()) {
        x = main.left() - 8 - this->width();
    }
    if (x < area.left()) {
        x = area.right() - this->width();
    }
    const int y = std::clamp(main.top(), area.top(), std::max(area.top(), area.bottom() - this->height()));
    move(x, y);
}

void HelpWindow::ShowContext(int context)
{
    m_browser->setSource(QUrl(PageOf(context)));
    if (!isVisible()) {
        PlaceBesideAnchor();
    }
    show();
    raise();
    activateWindow();
}

void HelpWindow::Quit()
{
    close();
}

} // namespace quav
