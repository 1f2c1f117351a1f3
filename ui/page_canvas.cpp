#include "ui/page_canvas.h"

#include "ui/canvas_geometry.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace inkveil {

namespace {

const QColor kMarkOutline(255, 0, 0, 204);       // red at 80 %
const QColor kDragFill(0, 0, 0, 199);            // black at 78 %
constexpr double kShadowBlur = 10.0;
constexpr double kShadowOffset = 4.0;
constexpr double kShadowOpacity = 0.24;

// A soft shadow: layers fading outward from the frame's edge.
void paintShadow(QPainter& p, const QRectF& frame)
{
    const QRectF base = frame.translated(0, kShadowOffset);
    const int layers = static_cast<int>(kShadowBlur);
    p.setPen(Qt::NoPen);
    for (int i = layers; i >= 1; --i) {
        const double spread = i * (kShadowBlur / layers);
        // Each layer adds a little: the sum is the full opacity at the edge.
        p.setBrush(QColor(0, 0, 0, static_cast<int>(255 * kShadowOpacity / layers)));
        p.drawRoundedRect(base.adjusted(-spread, -spread, spread, spread), spread, spread);
    }
}

} // namespace

PageCanvas::PageCanvas(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_sharpTimer.setSingleShot(true);
    m_sharpTimer.setInterval(60);
    connect(&m_sharpTimer, &QTimer::timeout, this, &PageCanvas::renderSharp);
}

void PageCanvas::setImage(const QImage& image)
{
    m_image = image;
    m_sharp = QImage();
    m_sharpOf = 0;
    updateGeometry();
    update();
    requestSharpIfNeeded();
}

void PageCanvas::setMarks(const QList<RedactionRegion>& marks)
{
    if (m_marks == marks)
        return;
    m_marks = marks;
    update();
}

void PageCanvas::setZoom(double zoom)
{
    if (m_zoom == zoom)
        return;
    m_zoom = zoom;
    updateGeometry();
    update();
    requestSharpIfNeeded();
}

void PageCanvas::setFitArea(const QSizeF& area)
{
    if (m_fitArea == area)
        return;
    m_fitArea = area;
    updateGeometry();
    update();
    requestSharpIfNeeded();
}

// Fitted or zoomed out, the page fits the canvas itself; zoomed in, it fits the
// visible area and the canvas grows to hold it.
QSizeF PageCanvas::fitBasis() const
{
    return m_zoom > 1.0 && m_fitArea ? *m_fitArea : QSizeF(size());
}

QSizeF PageCanvas::zoomedFrameSize() const
{
    const QSizeF basis = fitBasis();
    return CanvasGeometry::zoomedFrame(basis, basis, QSizeF(m_image.size()), m_zoom).size();
}

QRectF PageCanvas::imageFrame() const
{
    return CanvasGeometry::zoomedFrame(QSizeF(size()), fitBasis(), QSizeF(m_image.size()), m_zoom);
}

QSize PageCanvas::minimumSizeHint() const
{
    // Fitted, the canvas takes whatever it is given; zoomed in, it needs room
    // for the whole page so that the scrolling area can scroll to every part.
    if (m_zoom <= 1.0 || m_image.isNull())
        return {0, 0};
    const QSizeF frame = zoomedFrameSize();
    return {static_cast<int>(std::ceil(frame.width())), static_cast<int>(std::ceil(frame.height()))};
}

QSize PageCanvas::sizeHint() const
{
    return minimumSizeHint();
}

std::optional<QRectF> PageCanvas::activeDragRect() const
{
    return CanvasGeometry::activeDrag(m_dragStart, m_dragEnd, imageFrame());
}

const QImage& PageCanvas::shownImage() const
{
    return !m_sharp.isNull() && m_sharpOf == m_image.cacheKey() ? m_sharp : m_image;
}

void PageCanvas::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF frame = imageFrame();
    if (frame.isEmpty())
        return;

    paintShadow(p, frame);
    p.drawImage(frame, shownImage());

    // Mark edges are crisp: no blending into the page around them.
    p.setRenderHint(QPainter::Antialiasing, false);
    QPen outline(kMarkOutline, 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    outline.setMiterLimit(10);
    for (const RedactionRegion& mark : std::as_const(m_marks)) {
        const QRectF box = CanvasGeometry::markBox(mark.normalizedRect(), frame);
        p.fillRect(box, Qt::black);
        p.setPen(outline);
        p.setBrush(Qt::NoBrush);
        p.drawRect(box);
    }

    if (const auto drag = activeDragRect()) {
        p.fillRect(*drag, kDragFill);
        QPen dashed(Qt::red, 2.0, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
        dashed.setDashPattern({2.5, 2.5}); // in pen widths: 5 points on, 5 off
        dashed.setMiterLimit(10);
        p.setPen(dashed);
        p.setBrush(Qt::NoBrush);
        p.drawRect(*drag);
    }
}

void PageCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_pressPoint = event->position();
    m_pastThreshold = false;
    m_dragCancelled = false;
    event->accept();
}

void PageCanvas::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF here = event->position();
    const QRectF frame = imageFrame();
    setCursor(CanvasGeometry::frameContains(frame, here) ? Qt::CrossCursor : Qt::ArrowCursor);
    if (!m_pressPoint || !(event->buttons() & Qt::LeftButton) || m_dragCancelled)
        return;
    if (!m_pastThreshold) {
        const QPointF moved = here - *m_pressPoint;
        if (std::hypot(moved.x(), moved.y()) < CanvasGeometry::kDragThreshold)
            return;
        m_pastThreshold = true;
    }
    // A drag that begins beside the page draws nothing, even across the page.
    if (!CanvasGeometry::frameContains(frame, *m_pressPoint))
        return;
    m_dragStart = *m_pressPoint;
    m_dragEnd = CanvasGeometry::clampToFrame(here, frame);
    update();
}

void PageCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressPoint) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QRectF frame = imageFrame();
    const auto drag = activeDragRect();
    const bool add = m_pastThreshold && !m_dragCancelled && drag && CanvasGeometry::isLargeEnough(*drag);
    endDrag();
    if (add)
        Q_EMIT markAdded(CanvasGeometry::normalizedRect(*drag, frame));
}

void PageCanvas::endDrag()
{
    m_pressPoint.reset();
    m_pastThreshold = false;
    m_dragCancelled = false;
    m_dragStart.reset();
    m_dragEnd.reset();
    update();
}

void PageCanvas::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        if (m_pressPoint && !m_dragCancelled) {
            // The rest of this press draws nothing.
            m_dragCancelled = true;
            m_dragStart.reset();
            m_dragEnd.reset();
            update();
            return;
        }
        break;
    case Qt::Key_PageUp:
    case Qt::Key_Left:
    case Qt::Key_Up:
        if (!m_pressPoint)
            Q_EMIT previousPageRequested();
        return;
    case Qt::Key_PageDown:
    case Qt::Key_Right:
    case Qt::Key_Down:
        if (!m_pressPoint)
            Q_EMIT nextPageRequested();
        return;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void PageCanvas::contextMenuEvent(QContextMenuEvent* event)
{
    const QRectF frame = imageFrame();
    // The topmost box under the pointer: the last drawn.
    for (qsizetype i = m_marks.size() - 1; i >= 0; --i) {
        if (!CanvasGeometry::markBox(m_marks[i].normalizedRect(), frame).contains(QPointF(event->pos())))
            continue;
        const RedactionRegion mark = m_marks[i];
        QMenu menu(this);
        QAction* remove = menu.addAction(QStringLiteral("Remove Redaction"));
        connect(remove, &QAction::triggered, this, [this, mark] { Q_EMIT markRemoved(mark); });
        QAction* repeat = menu.addAction(QStringLiteral("Repeat Box on All Pages…"));
        connect(repeat, &QAction::triggered, this, [this, mark] { Q_EMIT markRepeatRequested(mark); });
        menu.exec(event->globalPos());
        return;
    }
    if (!m_image.isNull() && frame.contains(QPointF(event->pos()))) {
        QMenu menu(this);
        QAction* whole = menu.addAction(QStringLiteral("Redact Whole Page"));
        connect(whole, &QAction::triggered, this, &PageCanvas::wholePageRequested);
        menu.exec(event->globalPos());
        return;
    }
    event->ignore();
}

void PageCanvas::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    requestSharpIfNeeded();
}

// ---- A sharper copy for dense screens and zoom -----------------------------

int PageCanvas::neededSide() const
{
    const QRectF frame = imageFrame();
    const double side = std::max(frame.width(), frame.height()) * devicePixelRatioF();
    return static_cast<int>(std::ceil(side));
}

void PageCanvas::requestSharpIfNeeded()
{
    if (!m_sharpRenderer || m_image.isNull())
        return;
    const int longest = std::max(m_image.width(), m_image.height());
    const int wanted = std::min(neededSide(), kMaxSharpSide);
    const QImage& shown = shownImage();
    const int have = std::max(shown.width(), shown.height());
    // A few pixels short is not worth a render.
    if (wanted <= longest + 2 || wanted <= have + 2)
        return;
    m_sharpTimer.start();
}

void PageCanvas::renderSharp()
{
    const int longest = std::max(m_image.width(), m_image.height());
    const int wanted = std::min(neededSide(), kMaxSharpSide);
    if (!m_sharpRenderer || m_image.isNull() || wanted <= longest + 2)
        return;
    const QImage sharp = m_sharpRenderer(wanted);
    if (sharp.isNull())
        return;
    m_sharp = sharp;
    m_sharpOf = m_image.cacheKey();
    update();
}

} // namespace inkveil
