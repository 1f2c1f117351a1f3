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
    m_editedMark.reset();
    updateAccessibleText();
    update();
}

void PageCanvas::setRotation(int rotation)
{
    if (m_rotation == rotation)
        return;
    m_rotation = rotation;
    update();
}

void PageCanvas::setHighlighted(const std::optional<RedactionRegion>& mark)
{
    if (m_highlighted == mark)
        return;
    m_highlighted = mark;
    update();
}

void PageCanvas::setMarkTexts(const QStringList& texts)
{
    m_markTexts = texts;
    updateAccessibleText();
}

// The boxes are drawn, not widgets: assistive tools read them from here.
void PageCanvas::updateAccessibleText()
{
    QStringList lines;
    for (qsizetype i = 0; i < m_marks.size(); ++i) {
        const QString covered = m_markTexts.value(i);
        lines.append(QStringLiteral("Redaction area %1: %2")
                         .arg(i + 1)
                         .arg(covered.isEmpty() ? QStringLiteral("Area") : covered));
    }
    setAccessibleName(QStringLiteral("Page with %1 redaction area%2").arg(m_marks.size()).arg(m_marks.size() == 1 ? QString() : QStringLiteral("s")));
    setAccessibleDescription(lines.join(u'\n'));
}

std::optional<std::pair<qsizetype, Qt::Edges>> PageCanvas::markAt(const QPointF& point) const
{
    constexpr double kEdge = 5.0;
    const QRectF frame = imageFrame();
    for (qsizetype i = m_marks.size() - 1; i >= 0; --i) {
        const QRectF box = CanvasGeometry::markBox(CanvasGeometry::shownFromPage(m_marks[i].normalizedRect(), m_rotation), frame);
        if (!box.adjusted(-kEdge, -kEdge, kEdge, kEdge).contains(point))
            continue;
        Qt::Edges edges;
        if (std::abs(point.x() - box.left()) <= kEdge)
            edges |= Qt::LeftEdge;
        else if (std::abs(point.x() - box.right()) <= kEdge)
            edges |= Qt::RightEdge;
        if (std::abs(point.y() - box.top()) <= kEdge)
            edges |= Qt::TopEdge;
        else if (std::abs(point.y() - box.bottom()) <= kEdge)
            edges |= Qt::BottomEdge;
        if (!edges && !box.contains(point))
            continue;
        return std::pair{i, edges};
    }
    return std::nullopt;
}

// The edited box where the pointer now is: moved whole, or its edges moved,
// and kept on the page.
std::optional<QRectF> PageCanvas::editedBox(const QPointF& here) const
{
    if (!m_editedMark || !m_editPoint || *m_editedMark >= m_marks.size())
        return std::nullopt;
    const QRectF frame = imageFrame();
    const QRectF box = CanvasGeometry::markBox(CanvasGeometry::shownFromPage(m_marks[*m_editedMark].normalizedRect(), m_rotation), frame);
    const QPointF delta = here - *m_editPoint;
    if (!m_editedEdges) {
        QRectF moved = box.translated(delta);
        moved.moveLeft(std::clamp(moved.left(), frame.left(), std::max(frame.left(), frame.right() - moved.width())));
        moved.moveTop(std::clamp(moved.top(), frame.top(), std::max(frame.top(), frame.bottom() - moved.height())));
        return moved;
    }
    const QPointF p = CanvasGeometry::clampToFrame(here, frame);
    QRectF resized = box;
    if (m_editedEdges & Qt::LeftEdge)
        resized.setLeft(p.x());
    if (m_editedEdges & Qt::RightEdge)
        resized.setRight(p.x());
    if (m_editedEdges & Qt::TopEdge)
        resized.setTop(p.y());
    if (m_editedEdges & Qt::BottomEdge)
        resized.setBottom(p.y());
    return resized.normalized();
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
    const auto edited = m_pastThreshold && m_editPoint && !m_dragCancelled ? editedBox(*m_editPoint + m_editOffset) : std::nullopt;
    for (qsizetype i = 0; i < m_marks.size(); ++i) {
        const RedactionRegion& mark = m_marks[i];
        const QRectF box = edited && m_editedMark == i ? *edited : CanvasGeometry::markBox(CanvasGeometry::shownFromPage(mark.normalizedRect(), m_rotation), frame);
        p.fillRect(box, Qt::black);
        p.setPen(outline);
        p.setBrush(Qt::NoBrush);
        p.drawRect(box);
        if (m_highlighted == mark) {
            QPen ring(palette().color(QPalette::Highlight), 3.0);
            p.setPen(ring);
            p.drawRect(box.adjusted(-3, -3, 3, 3));
        }
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
    m_editOffset = {};
    // On a box: move it, or resize it by the edge under the pointer.
    if (const auto hit = markAt(event->position())) {
        m_editedMark = hit->first;
        m_editedEdges = hit->second;
        m_editPoint = event->position();
    } else {
        m_editedMark.reset();
        m_editPoint.reset();
    }
    event->accept();
}

void PageCanvas::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF here = event->position();
    const QRectF frame = imageFrame();
    if (!m_pressPoint) {
        const auto hit = markAt(here);
        Qt::CursorShape shape = CanvasGeometry::frameContains(frame, here) ? Qt::CrossCursor : Qt::ArrowCursor;
        if (hit) {
            const Qt::Edges e = hit->second;
            const bool horizontal = e & (Qt::LeftEdge | Qt::RightEdge);
            const bool vertical = e & (Qt::TopEdge | Qt::BottomEdge);
            shape = !e ? Qt::SizeAllCursor
                : horizontal && vertical
                    ? ((e & Qt::LeftEdge) && (e & Qt::TopEdge)) || ((e & Qt::RightEdge) && (e & Qt::BottomEdge))
                          ? Qt::SizeFDiagCursor
                          : Qt::SizeBDiagCursor
                    : horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor;
        }
        setCursor(shape);
    }
    if (!m_pressPoint || !(event->buttons() & Qt::LeftButton) || m_dragCancelled)
        return;
    if (!m_pastThreshold) {
        const QPointF moved = here - *m_pressPoint;
        if (std::hypot(moved.x(), moved.y()) < CanvasGeometry::kDragThreshold)
            return;
        m_pastThreshold = true;
    }
    if (m_editedMark) {
        m_editOffset = here - *m_editPoint;
        update();
        return;
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
    if (m_editedMark && *m_editedMark < m_marks.size()) {
        const RedactionRegion mark = m_marks[*m_editedMark];
        const auto box = m_pastThreshold && !m_dragCancelled ? editedBox(*m_editPoint + m_editOffset) : std::nullopt;
        const bool clicked = !m_pastThreshold;
        endDrag();
        if (box && CanvasGeometry::isLargeEnough(*box))
            Q_EMIT markMoved(mark, CanvasGeometry::pageFromShown(CanvasGeometry::normalizedRect(*box, frame), m_rotation));
        else if (clicked)
            Q_EMIT markClicked(mark);
        return;
    }
    const auto drag = activeDragRect();
    const bool add = m_pastThreshold && !m_dragCancelled && drag && CanvasGeometry::isLargeEnough(*drag);
    endDrag();
    if (add)
        Q_EMIT markAdded(CanvasGeometry::pageFromShown(CanvasGeometry::normalizedRect(*drag, frame), m_rotation));
}

void PageCanvas::endDrag()
{
    m_pressPoint.reset();
    m_pastThreshold = false;
    m_dragCancelled = false;
    m_dragStart.reset();
    m_dragEnd.reset();
    m_editedMark.reset();
    m_editPoint.reset();
    m_editOffset = {};
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
        if (m_highlighted) {
            Q_EMIT highlightDismissed();
            return;
        }
        break;
    case Qt::Key_Insert:
        if (!m_pressPoint && !m_image.isNull()) {
            Q_EMIT keyboardMarkRequested(CanvasGeometry::pageFromShown(Rect{0.4, 0.475, 0.2, 0.05}, m_rotation));
            return;
        }
        break;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        if (m_highlighted && m_marks.contains(*m_highlighted) && !m_pressPoint) {
            Q_EMIT markRemoved(*m_highlighted);
            return;
        }
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        // A pointed-out box moves with the arrows, or grows and shrinks with Shift.
        if (m_highlighted && m_marks.contains(*m_highlighted) && !m_pressPoint) {
            constexpr double kStep = 0.01;
            const double dx = event->key() == Qt::Key_Left ? -kStep : event->key() == Qt::Key_Right ? kStep : 0;
            const double dy = event->key() == Qt::Key_Down ? -kStep : event->key() == Qt::Key_Up ? kStep : 0;
            Rect shown = CanvasGeometry::shownFromPage(m_highlighted->normalizedRect(), m_rotation);
            if (event->modifiers() & Qt::ShiftModifier) {
                // The top-left corner stays; Right and Down grow the box.
                const double top = shown.y + shown.height;
                shown.width = std::clamp(shown.width + dx, kStep, 1 - shown.x);
                shown.height = std::clamp(shown.height - dy, kStep, top);
                shown.y = top - shown.height;
            } else {
                shown.x = std::clamp(shown.x + dx, 0.0, std::max(0.0, 1 - shown.width));
                shown.y = std::clamp(shown.y + dy, 0.0, std::max(0.0, 1 - shown.height));
            }
            Q_EMIT markMoved(*m_highlighted, CanvasGeometry::pageFromShown(shown, m_rotation));
            return;
        }
        if (m_pressPoint)
            return;
        if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Up)
            Q_EMIT previousPageRequested();
        else
            Q_EMIT nextPageRequested();
        return;
    case Qt::Key_PageUp:
        if (!m_pressPoint)
            Q_EMIT previousPageRequested();
        return;
    case Qt::Key_PageDown:
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
        if (!CanvasGeometry::markBox(CanvasGeometry::shownFromPage(m_marks[i].normalizedRect(), m_rotation), frame).contains(QPointF(event->pos())))
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
    m_sharpRenderer(wanted, m_image.cacheKey());
}

void PageCanvas::setSharpImage(const QImage& sharp, qint64 of)
{
    if (sharp.isNull() || of != m_image.cacheKey())
        return;
    m_sharp = sharp;
    m_sharpOf = of;
    update();
}

} // namespace inkveil
