#include "ui/settings_view.h"

#include "app/app_model.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
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

SettingsView::SettingsView(AppModel& model, QWidget* parent) : QWidget(parent, Qt::Window), m_model(model)
{
    setWindowTitle(QStringLiteral("About Inkveil"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);

    auto* reading = new QGroupBox(QStringLiteral("Text in scans (OCR)"), this);
    auto* form = new QFormLayout(reading);
    m_ocrMode = new QComboBox(reading);
    m_ocrMode->addItem(QStringLiteral("Pages without usable text"), static_cast<int>(OcrMode::automatic));
    m_ocrMode->addItem(QStringLiteral("Every page"), static_cast<int>(OcrMode::always));
    m_ocrMode->addItem(QStringLiteral("Off"), static_cast<int>(OcrMode::off));
    form->addRow(QStringLiteral("Read pages"), m_ocrMode);
    m_ocrLanguage = new QComboBox(reading);
    for (const QString& language : AppModel::ocrLanguages())
        m_ocrLanguage->addItem(language, language);
    form->addRow(QStringLiteral("Language"), m_ocrLanguage);
    layout->addWidget(reading);
    connect(m_ocrMode, &QComboBox::activated, this, [this] {
        OcrSettings ocr = m_model.ocr();
        ocr.mode = static_cast<OcrMode>(m_ocrMode->currentData().toInt());
        m_model.setOcr(ocr);
    });
    connect(m_ocrLanguage, &QComboBox::activated, this, [this] {
        OcrSettings ocr = m_model.ocr();
        ocr.languages = m_ocrLanguage->currentData().toString();
        m_model.setOcr(ocr);
    });
    connect(&model, &AppModel::ocrChanged, this, &SettingsView::updateOcr);
    updateOcr();

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

void SettingsView::updateOcr()
{
    m_ocrMode->setCurrentIndex(m_ocrMode->findData(static_cast<int>(m_model.ocr().mode)));
    // A language chosen elsewhere (eng+deu) is shown as it is.
    if (m_ocrLanguage->findData(m_model.ocr().languages) < 0)
        m_ocrLanguage->addItem(m_model.ocr().languages, m_model.ocr().languages);
    m_ocrLanguage->setCurrentIndex(m_ocrLanguage->findData(m_model.ocr().languages));
    m_ocrLanguage->setEnabled(m_model.ocr().mode != OcrMode::off);
}

} // namespace inkveil
