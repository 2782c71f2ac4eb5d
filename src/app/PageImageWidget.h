#pragma once

#include <functional>

#include <QImage>
#include <QWidget>

namespace quav {

/// `Image1`: shows the 400 x 312 page image, reports mouse moves in image pixels and
/// clicks. Until the first page has been drawn it shows a start-up picture.
class PageImageWidget : public QWidget
{
    Q_OBJECT

public:
    explicit PageImageWidget(QWidget* parent = nullptr);

    /// Where the page comes from once it has been drawn.
    std::function<QImage()> pageSource;
    /// What the screen shows of the drawn page, flashing characters in their current
    /// phase; the page itself when not set. Copies and prints take the page.
    std::function<QImage()> screenSource;
    /// True once the renderer has drawn into the page image.
    void SetPageDrawn(bool drawn);
    bool PageDrawn() const { return m_drawn; }

    /// What the widget shows now: the page, or the start-up picture.
    QImage CurrentImage() const;
    static QImage StartupPicture();

    std::function<void(int, int)> onMouseMove;
    std::function<void()> onClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_drawn = false;
    bool m_pressed = false;
    QImage m_startup;
};

} // namespace quav
