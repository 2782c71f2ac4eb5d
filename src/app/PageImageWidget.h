#pragma once

#include <functional>

#include <QImage>
#include <QWidget>

namespace quav {

/// `Image1`: shows the 400 x 312 page image, reports mouse moves in image pixels and
/// clicks. Until the first page has been drawn it shows a start-up picture.
///
/// The page is drawn at a whole-number zoom in device pixels, with every page pixel a sharp
/// square of zoom x zoom screen pixels, centred on black. Zoom 0 picks the largest zoom that
/// fits the widget; 1 to MaxZoom fix it (the widget then asks for that size). Counting in
/// device pixels keeps the strokes even at fractional desktop scaling (125 %, 150 %).
class PageImageWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr int PageWidth = 400;
    static constexpr int PageHeight = 312;
    static constexpr int MaxZoom = 8;

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

    /// 0: the best whole-number zoom that fits; 1 to MaxZoom: that zoom. Other values count
    /// as 0.
    void SetZoom(int zoom);
    int Zoom() const { return m_zoom; }
    /// The zoom in device pixels that the page is drawn with now.
    int EffectiveZoom() const;
    /// Where the page lies, in the widget's own (logical) coordinates.
    QRectF PageRect() const;

    /// Repaints the part of the widget that shows a rectangle of page pixels.
    void UpdatePageArea(const QRect& pagePixels);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    /// Mouse moves over the page, in page pixels (0-399, 0-311).
    std::function<void(int, int)> onMouseMove;
    std::function<void()> onClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    /// The page pixel under a widget position; false outside the page.
    bool PagePixelAt(QPointF position, QPoint& pixel) const;

    bool m_drawn = false;
    bool m_pressed = false;
    int m_zoom = 0;
    QImage m_startup;
};

} // namespace quav
