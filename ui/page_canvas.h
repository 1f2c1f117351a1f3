#pragma once

#include "core/records.h"

#include <QImage>
#include <QList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>

namespace inkveil {

// The page being marked: the page image, its marks as black boxes, and the
// rectangle being dragged. Shows what it is given and reports what the user
// does; the only state of its own is the drag in progress (and the zoom and a
// sharper copy of the image, which are views of the same page).
class PageCanvas : public QWidget {
    Q_OBJECT

public:
    // Asks for the shown page with `side` pixels along its longer side; the
    // copy comes back through setSharpImage, for the image whose cache key is `of`.
    using SharpRenderer = std::function<void(int side, qint64 of)>;
    // The longest side a sharper copy may have.
    static constexpr int kMaxSharpSide = 4800;

    explicit PageCanvas(QWidget* parent = nullptr);

    // The page image; its shape decides the image frame.
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    // The page's /Rotate: the image shows the page turned by it, the marks
    // stay in the page's own space.
    void setRotation(int rotation);
    int rotation() const { return m_rotation; }
    // The marks of the shown page, in drawing order.
    void setMarks(const QList<RedactionRegion>& marks);
    const QList<RedactionRegion>& marks() const { return m_marks; }
    // The mark pointed out (outlined in the selection colour); Delete removes it.
    void setHighlighted(const std::optional<RedactionRegion>& mark);
    // What each mark covers, for its accessible description ("Area" when empty).
    void setMarkTexts(const QStringList& texts);

    // 1 fits the page into the fit area; 2 shows it twice as large.
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }
    // The space the page is fitted into at zoom 1 (the visible part of the
    // scrolling area); the canvas's own size when never set.
    void setFitArea(const QSizeF& area);
    // Used when the screen needs more pixels than the image has.
    void setSharpRenderer(SharpRenderer renderer) { m_sharpRenderer = std::move(renderer); }
    // A sharper copy of the image whose cache key is `of`; ignored for another.
    void setSharpImage(const QImage& sharp, qint64 of);
    // Asks for a sharper copy when the screen needs more pixels than shown.
    void requestSharpIfNeeded();

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
    // "Remove Redaction" was chosen on a mark, or Delete pressed on the pointed-out one.
    void markRemoved(const inkveil::RedactionRegion& region);
    // "Repeat Box on All Pages…" was chosen on a mark.
    void markRepeatRequested(const inkveil::RedactionRegion& region);
    // "Redact Whole Page" was chosen on the page.
    void wholePageRequested();
    // A mark was clicked.
    void markClicked(const inkveil::RedactionRegion& region);
    // Insert was pressed: a new box in the middle of the page, to be moved
    // and sized with the arrow keys.
    void keyboardMarkRequested(const inkveil::Rect& normalizedRect);
    // Escape with a box pointed out.
    void highlightDismissed();
    // A mark was moved or resized by dragging it or its edges.
    void markMoved(const inkveil::RedactionRegion& region, const inkveil::Rect& normalizedRect);
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
    void updateAccessibleText();
    // The mark under point and which of its edges are near (Qt::Edges; none
    // inside it: the whole box moves).
    std::optional<std::pair<qsizetype, Qt::Edges>> markAt(const QPointF& point) const;
    std::optional<QRectF> editedBox(const QPointF& here) const;
    void renderSharp();
    int neededSide() const;
    QSizeF fitBasis() const;
    QSizeF zoomedFrameSize() const;

    QImage m_image;
    QList<RedactionRegion> m_marks;
    QStringList m_markTexts;
    int m_rotation = 0;
    std::optional<RedactionRegion> m_highlighted;
    // A box being moved (no edges) or resized by the edges given.
    std::optional<qsizetype> m_editedMark;
    Qt::Edges m_editedEdges;
    std::optional<QPointF> m_editPoint;
    QPointF m_editOffset;
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
