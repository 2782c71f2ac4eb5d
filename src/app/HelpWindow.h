#pragma once

#include <QWidget>

class QTextBrowser;

namespace quav {

/// The help window: German HTML pages built into the program, one per help context
/// (1 main window, 3 settings, 5 print panel), with links between them.
class HelpWindow : public QWidget
{
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    /// The window that help opens beside (the main window).
    void SetAnchor(const QWidget* anchor);
    /// Shows the page of a help context; an unknown context shows the main page. When the
    /// window is not open yet it opens at a readable size beside the anchor.
    void ShowContext(int context);
    /// The quit command: closes the window.
    void Quit();

    /// The resource path of a context's page.
    static QString PageOf(int context);

    QTextBrowser* Browser() const { return m_browser; }

private:
    void PlaceBesideAnchor();

    QTextBrowser* m_browser;
    const QWidget* m_anchor = nullptr;
};

} // namespace quav
