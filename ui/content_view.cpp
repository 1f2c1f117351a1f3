#include "ui/content_view.h"

#include "app/app_model.h"
#include "ui/controls_pane.h"
#include "ui/files_pane.h"
#include "ui/page_canvas.h"
#include "ui/preview_pane.h"
#include "ui/text_styles.h"

#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QSplitter>
#include <QUrl>

namespace inkveil {

namespace {

// The outline shown while files are dragged over the window; takes no input.
class DropOutline : public QWidget {
public:
    explicit DropOutline(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(TextStyle::kDropBlue, 3));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(8, 8, -8, -8), 16, 16);
    }
};

// The local files among dragged items, in the order given.
QStringList localFiles(const QMimeData* mime)
{
    QStringList files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    return files;
}

} // namespace

ContentView::ContentView(AppModel& model, QWidget* parent) : QWidget(parent), m_model(model)
{
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    setAcceptDrops(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    m_files = new FilesPane(model, m_splitter);
    m_preview = new PreviewPane(model, m_splitter);
    m_controls = new ControlsPane(model, m_splitter);
    m_splitter->addWidget(m_files);
    m_splitter->addWidget(m_preview);
    m_splitter->addWidget(m_controls);
    // The preview takes what the side panes leave.
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setStretchFactor(2, 0);
    m_splitter->setSizes({FilesPane::kIdealWidth, 1000, ControlsPane::kIdealWidth});
    layout->addWidget(m_splitter);

    m_outline = new DropOutline(this);
    m_outline->hide();

    connect(&model, &AppModel::isDropTargetedChanged, this, [this] {
        m_outline->setVisible(m_model.isDropTargeted());
        m_outline->raise();
    });
    connect(&model, &AppModel::errorMessageChanged, this, &ContentView::showError);
    connect(m_controls, &ControlsPane::searchSubmitted, this, [this] { m_preview->canvas()->setFocus(Qt::OtherFocusReason); });
    showError();
}

bool ContentView::showsDropOutline() const
{
    return m_outline->isVisible();
}

void ContentView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_outline->setGeometry(rect());
}

void ContentView::dragEnterEvent(QDragEnterEvent* event)
{
    if (localFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    m_model.setIsDropTargeted(true);
}

void ContentView::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void ContentView::dragLeaveEvent(QDragLeaveEvent* event)
{
    m_model.setIsDropTargeted(false);
    event->accept();
}

void ContentView::dropEvent(QDropEvent* event)
{
    m_model.setIsDropTargeted(false);
    const QStringList files = localFiles(event->mimeData());
    event->acceptProposedAction();
    if (!files.isEmpty())
        m_model.add(files);
}

void ContentView::showError()
{
    const auto& message = m_model.errorMessage();
    if (!message) {
        if (m_alert)
            m_alert->close();
        return;
    }
    if (!m_alert) {
        m_alert = new QMessageBox(QMessageBox::Warning, kErrorTitle, kErrorTitle, QMessageBox::Ok, window());
        m_alert->setWindowModality(Qt::WindowModal);
        // OK, Escape or closing the alert all dismiss the message.
        connect(m_alert, &QMessageBox::finished, this, [this] {
            if (m_redactAnyway && m_alert->clickedButton() == m_redactAnyway)
                m_model.redactAnyway();
            else
                m_model.setErrorMessage(std::nullopt);
        });
    }
    // A damaged page can be flattened as it is drawn, if the user says so.
    if (m_model.damagedDocument() && !m_redactAnyway) {
        m_redactAnyway = m_alert->addButton(QStringLiteral("Redact Anyway"), QMessageBox::AcceptRole);
        m_alert->setDefaultButton(QMessageBox::Ok);
    } else if (!m_model.damagedDocument() && m_redactAnyway) {
        m_alert->removeButton(m_redactAnyway);
        delete m_redactAnyway;
        m_redactAnyway = nullptr;
    }
    m_alert->setWindowTitle(m_model.errorTitle());
    m_alert->setText(m_model.errorTitle());
    m_alert->setInformativeText(*message);
    if (!m_alert->isVisible())
        m_alert->open();
}

} // namespace inkveil
