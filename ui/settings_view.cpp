#include "ui/settings_view.h"

#include "app/app_model.h"

#include <QDesktopServices>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace inkveil {

namespace {

QLabel* link(const QString& title, const QUrl& url, QWidget* parent)
{
    auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(),
                                                                       title.toHtmlEscaped()),
                             parent);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setCursor(Qt::PointingHandCursor);
    label->setAccessibleName(title);
    QObject::connect(label, &QLabel::linkActivated, label, [url] { QDesktopServices::openUrl(url); });
    return label;
}

} // namespace

SettingsView::SettingsView(AppModel& model, QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("About Inkveil"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);

    auto* about = new QGroupBox(QStringLiteral("About"), this);
    auto* row = new QHBoxLayout(about);
    auto* lines = new QVBoxLayout;
    lines->setSpacing(2);
    m_version = new QLabel(QStringLiteral("Mervo Inkveil ") + model.version(), about);
    m_version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lines->addWidget(m_version);
    row->addLayout(lines);
    row->addStretch(1);
    m_feedback = link(QStringLiteral("Send feedback"), model.feedbackURL(), about);
    row->addWidget(m_feedback);
    m_website = link(QStringLiteral("Website"), model.websiteURL(), about);
    row->addWidget(m_website);
    layout->addWidget(about);
    // As wide as a settings form is; as high as its content.
    setFixedSize(kWidth, layout->hasHeightForWidth() ? layout->heightForWidth(kWidth) : sizeHint().height());
}

} // namespace inkveil
