#include "ui/preview_pane.h"
#include "ui/repeat_box_dialog.h"

#include "app/app_model.h"
#include "app/preview_renderer.h"
#include "ui/elided_label.h"
#include "ui/empty_state.h"
#include "ui/page_canvas.h"
#include "ui/symbols.h"
#include "ui/text_styles.h"

#include <QEvent>
#include <QWheelEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <array>

namespace inkveil {

namespace {

constexpr std::array kZoomSteps{0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0};

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QToolButton* pageButton(Symbols::Symbol symbol, const QString& help, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setIcon(Symbols::icon(symbol));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(help);
    button->setAccessibleName(help);
    return button;
}

// The page area's backdrop: the text background at 30 % over the window.
QColor backdrop(const QPalette& palette)
{
    const QColor window = palette.color(QPalette::Window);
    const QColor base = palette.color(QPalette::Base);
    const auto mix = [](float a, float b) { return a * 0.7f + b * 0.3f; };
    return QColor::fromRgbF(mix(window.redF(), base.redF()), mix(window.greenF(), base.greenF()),
                            mix(window.blueF(), base.blueF()));
}

} // namespace

PreviewPane::PreviewPane(AppModel& model, QWidget* parent) : QWidget(parent), m_model(model)
{
    setMinimumWidth(kMinimumWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Header.
    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 20, 20, 20);
    header->setSpacing(12);
    m_title = new ElidedLabel(QString(), this);
    TextStyle::apply(m_title, TextStyle::Style::title2, true);
    header->addWidget(m_title, 1);
    m_previous = pageButton(Symbols::Symbol::chevronLeft, QStringLiteral("Previous page"), this);
    connect(m_previous, &QToolButton::clicked, this, [this] { m_model.previousPage(); });
    header->addWidget(m_previous);
    m_pageLabel = new QLabel(this);
    TextStyle::makeSecondary(m_pageLabel);
    header->addWidget(m_pageLabel);
    m_next = pageButton(Symbols::Symbol::chevronRight, QStringLiteral("Next page"), this);
    connect(m_next, &QToolButton::clicked, this, [this] { m_model.nextPage(); });
    header->addWidget(m_next);
    layout->addLayout(header);
    layout->addWidget(divider(this));

    // Page area.
    m_pageArea = new QStackedWidget(this);
    m_pageArea->addWidget(new EmptyState(Symbols::drawn(Symbols::Symbol::viewfinder), QStringLiteral("Select a PDF"),
                                         QStringLiteral("Drag over the page to mark content for permanent removal."),
                                         m_pageArea));
    m_scroll = new QScrollArea(m_pageArea);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setAlignment(Qt::AlignCenter);
    QPalette backdropPalette = m_scroll->palette();
    backdropPalette.setColor(QPalette::Window, backdrop(palette()));
    m_scroll->viewport()->setPalette(backdropPalette);
    m_scroll->viewport()->setAutoFillBackground(true);
    auto* host = new QWidget;
    host->setAutoFillBackground(false);
    auto* hostLayout = new QVBoxLayout(host);
    hostLayout->setContentsMargins(kPagePadding, kPagePadding, kPagePadding, kPagePadding);
    m_canvas = new PageCanvas(host);
    hostLayout->addWidget(m_canvas);
    m_scroll->setWidget(host);
    m_scroll->installEventFilter(this);
    m_scroll->viewport()->installEventFilter(this);
    m_pageArea->addWidget(m_scroll);
    // Beside the page, its document's pages with how many marks each holds.
    m_pageList = new QListWidget(this);
    m_pageList->setObjectName(QStringLiteral("pageList"));
    m_pageList->setAccessibleName(QStringLiteral("Pages"));
    m_pageList->setFixedWidth(kPageListWidth);
    m_pageList->setFrameShape(QFrame::NoFrame);
    m_pageList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pageList->setUniformItemSizes(true);
    connect(m_pageList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_syncingPages && row >= 0 && row != m_model.currentPage())
            m_model.setCurrentPage(row);
    });
    auto* body = new QHBoxLayout;
    body->setSpacing(0);
    body->addWidget(m_pageList);
    body->addWidget(m_pageArea, 1);
    layout->addLayout(body, 1);

    connect(m_canvas, &PageCanvas::markAdded, this, [this](const Rect& rect) { m_model.addMark(rect); });
    connect(m_canvas, &PageCanvas::markRemoved, this,
            [this](const RedactionRegion& region) { m_model.removeMark(region); });
    connect(m_canvas, &PageCanvas::wholePageRequested, this, [this] { m_model.redactWholePage(); });
    connect(m_canvas, &PageCanvas::markRepeatRequested, this, [this](const RedactionRegion& region) {
        if (const auto pages = askRepeatPages(this, m_model.selectedPageCount()))
            m_model.repeatMark(region, pages->first, pages->second);
    });
    connect(m_canvas, &PageCanvas::keyboardMarkRequested, this, [this](const Rect& rect) {
        m_model.addMark(rect);
        if (!m_model.selectedMarks().isEmpty())
            m_model.showMark(m_model.selectedMarks().back());
    });
    connect(m_canvas, &PageCanvas::highlightDismissed, this, [this] { m_model.clearHighlightedMark(); });
    connect(m_canvas, &PageCanvas::markClicked, this,
            [this](const RedactionRegion& region) { m_model.showMark(region); });
    connect(m_canvas, &PageCanvas::markMoved, this,
            [this](const RedactionRegion& region, const Rect& rect) { m_model.replaceMark(region, rect); });
    connect(&model, &AppModel::highlightedMarkChanged, this,
            [this] { m_canvas->setHighlighted(m_model.highlightedMark()); });
    connect(m_canvas, &PageCanvas::previousPageRequested, this, [this] { m_model.previousPage(); });
    connect(m_canvas, &PageCanvas::nextPageRequested, this, [this] { m_model.nextPage(); });
    m_sharpRenderer = new PreviewRenderer(this);
    connect(m_sharpRenderer, &PreviewRenderer::ready, this, [this](const PreviewRenderer::Result& result) {
        if (result.number == m_sharpNumber)
            m_canvas->setSharpImage(result.image, m_sharpOf);
    });
    m_canvas->setSharpRenderer([this](int side, qint64 of) {
        // The model's own image is still on its way.
        const auto input = m_model.selected();
        if (!input || m_model.isRendering())
            return;
        m_sharpOf = of;
        m_sharpRenderer->request({input->url, m_model.currentPage(), ++m_sharpNumber, side, false});
    });
    connect(&model, &AppModel::isRenderingChanged, this, [this] {
        if (!m_model.isRendering())
            m_canvas->requestSharpIfNeeded();
    });

    // Status line after a run.
    m_status = new QWidget(this);
    auto* statusLayout = new QVBoxLayout(m_status);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    statusLayout->setSpacing(0);
    statusLayout->addWidget(divider(m_status));
    auto* row = new QHBoxLayout;
    row->setContentsMargins(14, 14, 14, 14);
    m_statusIcon = new QLabel(m_status);
    row->addWidget(m_statusIcon);
    m_statusMessage = new QLabel(m_status);
    m_statusMessage->setWordWrap(true);
    m_statusMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(m_statusMessage, 1);
    m_showInFolder = new QPushButton(QStringLiteral("Show in Folder"), m_status);
    connect(m_showInFolder, &QPushButton::clicked, this, [this] { m_model.revealOutputs(); });
    row->addWidget(m_showInFolder);
    statusLayout->addLayout(row);
    layout->addWidget(m_status);

    m_busy = new QLabel(QStringLiteral("Drawing page\u2026"), this);
    TextStyle::makeSecondary(m_busy);
    m_busy->hide();
    header->insertWidget(1, m_busy);
    m_busyDelay.setSingleShot(true);
    m_busyDelay.setInterval(kBusyDelay);
    connect(&m_busyDelay, &QTimer::timeout, this, [this] {
        m_busy->setVisible(m_model.isRendering());
        if (m_model.isRendering())
            m_canvas->setCursor(Qt::BusyCursor);
    });
    connect(&model, &AppModel::isRenderingChanged, this, [this] {
        if (m_model.isRendering()) {
            m_busyDelay.start();
            return;
        }
        m_busyDelay.stop();
        m_busy->hide();
        m_canvas->unsetCursor();
    });

    connect(&model, &AppModel::selectedChanged, this, &PreviewPane::updatePageList);
    connect(&model, &AppModel::selectedMarksChanged, this, &PreviewPane::updatePageList);
    connect(&model, &AppModel::currentPageChanged, this, &PreviewPane::updatePageList);
    connect(&model, &AppModel::selectedChanged, this, &PreviewPane::updateHeader);
    connect(&model, &AppModel::currentPageChanged, this, &PreviewPane::updateHeader);
    connect(&model, &AppModel::previewImageChanged, this, &PreviewPane::updatePage);
    connect(&model, &AppModel::selectedMarksChanged, this, &PreviewPane::updateMarks);
    connect(&model, &AppModel::currentPageChanged, this, &PreviewPane::updateMarks);
    connect(&model, &AppModel::resultMessageChanged, this, &PreviewPane::updateStatus);
    connect(&model, &AppModel::outputsChanged, this, &PreviewPane::updateStatus);
    updateHeader();
    updatePageList();
    updatePage();
    updateMarks();
    updateStatus();
}

PreviewPane::~PreviewPane() = default;

bool PreviewPane::showsPage() const
{
    return m_pageArea->currentWidget() == m_scroll;
}

void PreviewPane::updateHeader()
{
    const auto input = m_model.selected();
    m_title->setText(input ? QFileInfo(input->url).fileName() : QStringLiteral("Preview"));
    const bool paged = input && input->pageCount > 1;
    m_previous->setVisible(paged);
    m_pageLabel->setVisible(paged);
    m_next->setVisible(paged);
    if (!paged)
        return;
    const int page = m_model.currentPage();
    m_previous->setEnabled(page != 0);
    m_next->setEnabled(page + 1 < input->pageCount);
    m_pageLabel->setText(QStringLiteral("Page %1 of %2").arg(page + 1).arg(input->pageCount));
}

void PreviewPane::updatePageList()
{
    const int pages = m_model.selectedPageCount();
    QList<int> counts(pages, 0);
    for (const RedactionRegion& mark : m_model.selectedMarks()) {
        if (mark.pageIndex() >= 0 && mark.pageIndex() < pages)
            ++counts[static_cast<qsizetype>(mark.pageIndex())];
    }
    m_syncingPages = true;
    if (m_pageList->count() != pages) {
        m_pageList->clear();
        for (int i = 0; i < pages; ++i)
            m_pageList->addItem(QString());
    }
    for (int i = 0; i < pages; ++i) {
        const int n = counts[i];
        m_pageList->item(i)->setText(n == 0 ? QStringLiteral("Page %1").arg(i + 1)
                                            : QStringLiteral("Page %1 \u00B7 %2").arg(i + 1).arg(n));
        m_pageList->item(i)->setToolTip(n == 0 ? QString()
                                               : QStringLiteral("%1 mark%2").arg(n).arg(n == 1 ? QString() : QStringLiteral("s")));
    }
    m_pageList->setCurrentRow(pages > 0 ? m_model.currentPage() : -1);
    m_syncingPages = false;
    m_pageList->setVisible(pages > 1);
}

void PreviewPane::updatePage()
{
    const QImage& image = m_model.previewImage();
    m_pageArea->setCurrentIndex(image.isNull() ? 0 : 1);
    m_canvas->setRotation(m_model.previewRotation());
    m_canvas->setImage(image);
}

void PreviewPane::updateMarks()
{
    QList<RedactionRegion> shown;
    QStringList texts;
    for (const RedactionRegion& mark : m_model.selectedMarks()) {
        if (mark.pageIndex() == m_model.currentPage()) {
            shown.append(mark);
            texts.append(m_model.markText(mark));
        }
    }
    m_canvas->setMarks(shown);
    m_canvas->setMarkTexts(texts);
}

void PreviewPane::updateStatus()
{
    const auto& message = m_model.resultMessage();
    m_status->setVisible(message.has_value());
    const bool written = m_model.resultIsRun() && !m_model.outputs().isEmpty();
    m_statusMessage->setText(message.value_or(QString()));
    const QIcon icon = written ? Symbols::drawn(Symbols::Symbol::checkmarkShieldFill, TextStyle::kConfirmGreen)
                               : Symbols::drawn(Symbols::Symbol::infoCircle, TextStyle::secondaryColor(this));
    m_statusIcon->setPixmap(icon.pixmap(QSize(18, 18), devicePixelRatioF()));
    m_statusIcon->setProperty("symbol", written ? QStringLiteral("checkmark.shield.fill") : QStringLiteral("info.circle"));
    m_showInFolder->setVisible(written);
    Q_EMIT statusChanged();
}

// Ctrl+wheel zooms; the wheel pages on once the page is scrolled to its end
// (a full notch, so a touchpad's small steps do not flick through pages).
bool PreviewPane::wheel(QWheelEvent* event)
{
    const int dy = event->angleDelta().y();
    if (event->modifiers() & Qt::ControlModifier) {
        m_wheelRest += dy;
        while (std::abs(m_wheelRest) >= 120) {
            m_wheelRest > 0 ? zoomIn() : zoomOut();
            m_wheelRest -= m_wheelRest > 0 ? 120 : -120;
        }
        return true;
    }
    QScrollBar* bar = m_scroll->verticalScrollBar();
    const bool atEnd = dy < 0 && bar->value() >= bar->maximum();
    const bool atStart = dy > 0 && bar->value() <= bar->minimum();
    if (!atEnd && !atStart) {
        m_wheelRest = 0;
        return false;
    }
    m_wheelRest += dy;
    if (std::abs(m_wheelRest) < 120)
        return true;
    m_wheelRest = 0;
    const int before = m_model.currentPage();
    if (atEnd)
        m_model.nextPage();
    else
        m_model.previousPage();
    if (m_model.currentPage() != before)
        bar->setValue(atEnd ? bar->minimum() : bar->maximum());
    return true;
}

// ---- Zoom ------------------------------------------------------------------

double PreviewPane::zoom() const
{
    return m_canvas->zoom();
}

void PreviewPane::zoomIn()
{
    for (double step : kZoomSteps) {
        if (step > zoom() + 1e-9) {
            setZoom(step);
            return;
        }
    }
}

void PreviewPane::zoomOut()
{
    for (auto it = kZoomSteps.rbegin(); it != kZoomSteps.rend(); ++it) {
        if (*it < zoom() - 1e-9) {
            setZoom(*it);
            return;
        }
    }
}

void PreviewPane::zoomToFit()
{
    setZoom(1.0);
}

void PreviewPane::setZoom(double zoom)
{
    // Keep the middle of what is seen in the middle.
    QScrollBar* h = m_scroll->horizontalScrollBar();
    QScrollBar* v = m_scroll->verticalScrollBar();
    const QSize view = m_scroll->viewport()->size();
    const QSize before = m_scroll->widget()->size();
    const double fx = (h->value() + view.width() / 2.0) / std::max(1, before.width());
    const double fy = (v->value() + view.height() / 2.0) / std::max(1, before.height());
    updateFitArea();
    m_canvas->setZoom(zoom);
    QTimer::singleShot(0, this, [this, fx, fy] {
        const QSize view = m_scroll->viewport()->size();
        const QSize after = m_scroll->widget()->size();
        m_scroll->horizontalScrollBar()->setValue(static_cast<int>(fx * after.width() - view.width() / 2.0));
        m_scroll->verticalScrollBar()->setValue(static_cast<int>(fy * after.height() - view.height() / 2.0));
    });
}

void PreviewPane::updateFitArea()
{
    // The whole area, scroll bars or not, so that their coming and going does
    // not change the page's size.
    const QSize view = m_scroll->size();
    m_canvas->setFitArea(QSizeF(std::max(0, view.width() - 2 * kPagePadding), std::max(0, view.height() - 2 * kPagePadding)));
}

bool PreviewPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_scroll && event->type() == QEvent::Resize)
        updateFitArea();
    if (watched == m_scroll->viewport() && event->type() == QEvent::Wheel)
        return wheel(static_cast<QWheelEvent*>(event));
    return QWidget::eventFilter(watched, event);
}

} // namespace inkveil
