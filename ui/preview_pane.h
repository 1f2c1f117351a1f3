#pragma once

#include <QTimer>
#include <QWidget>

#include <memory>

class QLabel;
class QListWidget;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QToolButton;
class QWheelEvent;

namespace inkveil {

class AppModel;
class ElidedLabel;
class PageCanvas;
class PreviewRenderer;

// The middle pane: the selected document's title and page controls, the page
// canvas (or the empty state), and the status line after a run. Reads the
// model and calls it; its own state is only the zoom of the page.
class PreviewPane : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 470;
    static constexpr int kPagePadding = 28;
    // A page drawn faster than this shows no busy state.
    static constexpr int kBusyDelay = 200;
    static constexpr int kPageListWidth = 104;

    explicit PreviewPane(AppModel& model, QWidget* parent = nullptr);
    ~PreviewPane() override;

    PageCanvas* canvas() const { return m_canvas; }
    ElidedLabel* title() const { return m_title; }
    QLabel* pageLabel() const { return m_pageLabel; }
    QToolButton* previousButton() const { return m_previous; }
    QToolButton* nextButton() const { return m_next; }
    QWidget* statusRow() const { return m_status; }
    QLabel* statusMessage() const { return m_statusMessage; }
    QLabel* statusIcon() const { return m_statusIcon; }
    // "Drawing page…", shown when a page takes a while.
    QLabel* busyLabel() const { return m_busy; }
    // The document's pages, each with its number of marks; hidden for one page.
    QListWidget* pageList() const { return m_pageList; }
    QPushButton* showInFolderButton() const { return m_showInFolder; }
    QScrollArea* scrollArea() const { return m_scroll; }
    // The canvas is shown, not the empty state.
    bool showsPage() const;

    // The zoom steps through which Zoom In and Zoom Out move; 1 fits the page.
    void zoomIn();
    void zoomOut();
    void zoomToFit();
    double zoom() const;

Q_SIGNALS:
    // The status row shows the outcome of a run (green when outputs exist).
    void statusChanged();

private:
    void updateHeader();
    void updatePageList();
    void updatePage();
    void updateMarks();
    void updateStatus();
    void setZoom(double zoom);
    void updateFitArea();
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool wheel(QWheelEvent* event);

    AppModel& m_model;
    ElidedLabel* m_title = nullptr;
    QToolButton* m_previous = nullptr;
    QLabel* m_pageLabel = nullptr;
    QToolButton* m_next = nullptr;
    QStackedWidget* m_pageArea = nullptr;
    QScrollArea* m_scroll = nullptr;
    PageCanvas* m_canvas = nullptr;
    QWidget* m_status = nullptr;
    QLabel* m_statusIcon = nullptr;
    QLabel* m_statusMessage = nullptr;
    QPushButton* m_showInFolder = nullptr;
    QLabel* m_busy = nullptr;
    QListWidget* m_pageList = nullptr;
    bool m_syncingPages = false;
    QTimer m_busyDelay;
    int m_wheelRest = 0;
    // Draws sharper copies of the shown page for zoom and dense screens.
    PreviewRenderer* m_sharpRenderer = nullptr;
    quint64 m_sharpNumber = 0;
    qint64 m_sharpOf = 0;
};

} // namespace inkveil
