#include "app/PageImageWidget.h"

#include <QMouseEvent>
#include <QPainter>

namespace quav {

PageImageWidget::PageImageWidget(QWidget* parent) : QWidget(parent), m_startup(StartupPicture())
{
    setFixedSize(400, 312);
    setMouseTracking(true);
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

void PageImageWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(0, 0, m_drawn && screenSource ? screenSource() : CurrentImage());
}

void PageImageWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (onMouseMove) {
        const QPoint pos = event->position().toPoint();
        onMouseMove(pos.x(), pos.y());
    }
}

void PageImageWidget::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    mouseMoveEvent(event);
}

void PageImageWidget::mouseReleaseEvent(QMouseEvent* event)
{
    // A click is a press and release of the left button within the picture.
    const bool inside = rect().contains(event->position().toPoint());
    if (m_pressed && event->button() == Qt::LeftButton && inside && onClick) {
        onClick();
    }
    m_pressed = false;
}

} // namespace quav
