#include "app/PageImageWidget.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>

namespace quav {

PageImageWidget::PageImageWidget(QWidget* parent) : QWidget(parent), m_startup(StartupPicture())
{
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QImage PageImageWidget::StartupPicture()
{
    // A test card in teletext colours, drawn with the page's own cell grid in mind.
    QImage image(400, 312, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    const QColor bars[] = {Qt::white,   Qt::yellow, Qt::cyan, Qt::green,
                           Qt::magenta, Qt::red,    Qt::blue, Qt::black};
    for (int i = 0; i < 8; ++i) {
        p.fillRect(i * 50, 52, 50, 130, bars[i]);
    }
    p.fillRect(0, 182, 400, 26, QColor(0, 0, 255));
    QFont title(QStringLiteral("DejaVu Sans Mono"));
    title.setStyleHint(QFont::Monospace);
    title.setPixelSize(18);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::yellow);
    p.drawText(QRect(0, 182, 400, 26), Qt::AlignCenter, QStringLiteral("QUAV-Videotext 1.0"));
    QFont small = title;
    small.setPixelSize(12);
    small.setBold(false);
    p.setFont(small);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 226, 400, 20), Qt::AlignCenter, QStringLiteral("Warte auf Videotext ..."));
    p.setPen(Qt::cyan);
    p.drawText(QRect(0, 260, 400, 20), Qt::AlignCenter,
               QStringLiteral("Seitennummer tippen oder auf eine Zahl klicken"));
    p.end();
    return image;
}

void PageImageWidget::SetPageDrawn(bool drawn)
{
    m_drawn = drawn;
    update();
}

QImage PageImageWidget::CurrentImage() const
{
    if (m_drawn && pageSource) {
        return pageSource();
    }
    return m_startup;
}

void PageImageWidget::SetZoom(int zoom)
{
    m_zoom = zoom >= 1 && zoom <= MaxZoom ? zoom : 0;
    updateGeometry();
    update();
}

int PageImageWidget::EffectiveZoom() const
{
    if (m_zoom != 0) {
        return m_zoom;
    }
    const qreal ratio = devicePixelRatioF();
    const int fit = std::min(static_cast<int>(width() * ratio) / PageWidth,
                             static_cast<int>(height() * ratio) / PageHeight);
    return std::clamp(fit, 1, MaxZoom);
}

QRectF PageImageWidget::PageRect() const
{
    // Whole device pixels for the origin too, so no page pixel straddles a screen pixel.
    const qreal ratio = devicePixelRatioF();
    const int zoom = EffectiveZoom();
    const int w = PageWidth * zoom;
    const int h = PageHeight * zoom;
    const int x = (static_cast<int>(width() * ratio) - w) / 2;
    const int y = (static_cast<int>(height() * ratio) - h) / 2;
    return QRectF(x / ratio, y / ratio, w / ratio, h / ratio);
}

void PageImageWidget::UpdatePageArea(const QRect& pagePixels)
{
    const QRectF page = PageRect();
    const qreal scale = page.width() / PageWidth;
    const QRectF area(page.x() + pagePixels.x() * scale, page.y() + pagePixels.y() * scale,
                      pagePixels.width() * scale, pagePixels.height() * scale);
    update(area.toAlignedRect());
}

QSize PageImageWidget::sizeHint() const
{
    const qreal ratio = devicePixelRatioF();
    const int zoom = m_zoom != 0 ? m_zoom : 2;
    return QSize(static_cast<int>(std::ceil(PageWidth * zoom / ratio)),
                 static_cast<int>(std::ceil(PageHeight * zoom / ratio)));
}

QSize PageImageWidget::minimumSizeHint() const
{
    const qreal ratio = devicePixelRatioF();
    const int zoom = m_zoom != 0 ? m_zoom : 1;
    return QSize(static_cast<int>(std::ceil(PageWidth * zoom / ratio)),
                 static_cast<int>(std::ceil(PageHeight * zoom / ratio)));
}

bool PageImageWidget::PagePixelAt(QPointF position, QPoint& pixel) const
{
    const QRectF page = PageRect();
    if (!page.contains(position)) {
        return false;
    }
    const qreal scale = page.width() / PageWidth;
    pixel = QPoint(std::clamp(static_cast<int>((position.x() - page.x()) / scale), 0, PageWidth - 1),
                   std::clamp(static_cast<int>((position.y() - page.y()) / scale), 0, PageHeight - 1));
    return true;
}

void PageImageWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    // Draw in device pixels: every page pixel becomes a square of zoom x zoom of them,
    // without smoothing.
    const qreal ratio = devicePixelRatioF();
    p.scale(1 / ratio, 1 / ratio);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const QRectF page = PageRect();
    p.drawImage(QRectF(page.x() * ratio, page.y() * ratio, page.width() * ratio, page.height() * ratio),
                m_drawn && screenSource ? screenSource() : CurrentImage());
}

void PageImageWidget::mouseMoveEvent(QMouseEvent* event)
{
    QPoint pixel;
    if (onMouseMove && PagePixelAt(event->position(), pixel)) {
        onMouseMove(pixel.x(), pixel.y());
    }
}

void PageImageWidget::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    mouseMoveEvent(event);
}

void PageImageWidget::mouseReleaseEvent(QMouseEvent* event)
{
    // A click is a press and release of the left button on the page.
    QPoint pixel;
    const bool inside = PagePixelAt(event->position(), pixel);
    if (m_pressed && event->button() == Qt::LeftButton && inside && onClick) {
        onClick();
    }
    m_pressed = false;
}

} // namespace quav
