#pragma once

#include "core/records.h"

#include <QImage>
#include <QList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

namespace inkveil {

// The page being marked: the page image, its marks as black boxes, and the
// rectangle being dragged. Shows what it is given and reports what the user
// does; the only state of its own is the drag in progress (and the zoom and a
// sharper copy of the image, which are views of the same page).
class PageCanvas : public QWidget {
    Q_OBJECT

public:
    // Renders the shown page with `side` pixels along its longer side; a null
    // image when it cannot.
    using SharpRenderer = std::function<QImage(int side)>;
    // The longest side a sharper copy may have.
    static constexpr int kMaxSharpSide = 4800;

    explicit PageCanvas(QWidget* parent = nullptr);

    // The page image; its shape decides the image frame.
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    // The marks of the shown page, in drawing order.
    void setMarks(const QList<RedactionRegion>& marks);
    const QList<RedactionRegion>& marks() const { return m_marks; }

    // 1 fits the page into the fit area; 2 shows it twice as large.
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }
    // The space the page is fitted into at zoom 1 (the visible part of the
    // scrolling area); the canvas's own size when never set.
    void setFitArea(const QSizeF& area);
    // Used when the screen needs more pixels than the image has.
    void setSharpRenderer(SharpRenderer renderer) { m_sharpRenderer = std::move(renderer); }

    // Where the image lies in the canvas.
    QRectF imageFrame() const;
    // The rectangle being dragged, if a drag that began on the page is in progress.
    std::optional<QRectF> activeDragRect() const;
    // The image actually drawn: the page image or its sharper copy.
    const QImage& shownImage() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // A dragged rectangle, in normalized page coordinates.
    void markAdded(const inkveil::Rect& normalizedRect);
    // "Remove Redaction" was chosen on a mark.
    void markRemoved(const inkveil::RedactionRegion& region);
    // "Repeat Box on All Pages…" was chosen on a mark.
    void markRepeatRequested(const inkveil::RedactionRegion& region);
    // "Redact Whole Page" was chosen on the page.
    void wholePageRequested();
    void previousPageRequested();
    void nextPageRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void endDrag();
    void requestSharpIfNeeded();
    void renderSharp();
    int neededSide() const;
    QSizeF fitBasis() const;
    QSizeF zoomedFrameSize() const;

    QImage m_image;
    QList<RedactionRegion> m_marks;
    double m_zoom = 1.0;
    std::optional<QSizeF> m_fitArea;

    // The press that may become a drag, and the drag itself.
    std::optional<QPointF> m_pressPoint;
    bool m_pastThreshold = false;
    bool m_dragCancelled = false;
    std::optional<QPointF> m_dragStart;
    std::optional<QPointF> m_dragEnd;

    SharpRenderer m_sharpRenderer;
    QImage m_sharp;
    qint64 m_sharpOf = 0; // cacheKey of the image it copies
    QTimer m_sharpTimer;
};

} // namespace inkveil
