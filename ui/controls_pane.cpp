#include "ui/controls_pane.h"

#include "app/app_model.h"
#include "ui/clamped_label.h"
#include "ui/pattern_chooser.h"
#include "ui/elided_label.h"
#include "ui/symbols.h"
#include "ui/text_styles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QMetaObject>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace inkveil {

namespace {

struct Resolution {
    double dpi;
    const char16_t* title;
};
constexpr Resolution kResolutions[] = {
    {150, u"150 dpi \u00B7 smaller"},
    {200, u"200 dpi \u00B7 recommended"},
    {300, u"300 dpi \u00B7 print"},
};

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* text(const QString& content, TextStyle::Style style, bool secondary, QWidget* parent)
{
    auto* label = new QLabel(content, parent);
    label->setWordWrap(true);
    TextStyle::apply(label, style);
    if (secondary)
        TextStyle::makeSecondary(label);
    return label;
}

// A symbol beside wrapped text, top-aligned.
QWidget* iconLabel(Symbols::Symbol symbol, const QColor& tint, QWidget* textWidget, QWidget* parent, int iconSide = 16,
                   Qt::Alignment align = Qt::AlignTop)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    auto* icon = new QLabel(row);
    icon->setPixmap(Symbols::icon(symbol, tint).pixmap(QSize(iconSide, iconSide), row->devicePixelRatioF()));
    layout->addWidget(icon, 0, align);
    textWidget->setParent(row);
    layout->addWidget(textWidget, 1);
    return row;
}

QPushButton* linkButton(const QString& title, QWidget* parent)
{
    auto* button = new QPushButton(title, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { color: palette(link); border: none; padding: 0; text-align: left; }"
                                         "QPushButton:hover { text-decoration: underline; }"));
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return button;
}

QVBoxLayout* column(QWidget* widget, int spacing)
{
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

} // namespace

// Three parts, top to bottom: finding text, the marks (which alone grow and
// scroll, however many there are), and the output settings with the redact
// bar, which therefore always stay in view.
ControlsPane::ControlsPane(AppModel& model, QWidget* parent) : QWidget(parent), m_model(model)
{
    setMinimumWidth(kMinimumWidth);
    setMaximumWidth(kMaximumWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* top = new QWidget(this);
    auto* stack = new QVBoxLayout(top);
    stack->setContentsMargins(24, 24, 24, 12);
    stack->setSpacing(16);
    auto* heading = new QLabel(QStringLiteral("Permanent Redaction"));
    TextStyle::apply(heading, TextStyle::Style::title3, true);
    stack->addWidget(iconLabel(Symbols::Symbol::eyeSlashFill, QColor(), heading, top, 20, Qt::AlignVCenter));
    stack->addWidget(text(QStringLiteral("Drag over the page to mark an area, or find selectable text below."),
                          TextStyle::Style::callout, true, top));
    stack->addWidget(divider(top));
    stack->addWidget(buildFind(top));
    stack->addWidget(divider(top));
    layout->addWidget(top);

    layout->addWidget(buildMarks(this), 1);

    auto* bottom = new QWidget(this);
    auto* settings = new QVBoxLayout(bottom);
    settings->setContentsMargins(24, 12, 24, 12);
    settings->setSpacing(12);
    settings->addWidget(divider(bottom));
    settings->addWidget(buildOutput(bottom));
    settings->addWidget(iconLabel(Symbols::Symbol::checkmarkShield, TextStyle::secondaryColor(bottom),
                                  text(QStringLiteral("The output is rebuilt as a flattened PDF. Selectable text, "
                                                      "metadata, comments and hidden layers are removed, then the file "
                                                      "is reopened and verified."),
                                       TextStyle::Style::caption, true, nullptr),
                                  bottom, 14));
    m_outputSection = bottom;
    layout->addWidget(bottom);
    layout->addWidget(divider(this));
    layout->addWidget(buildBottomBar());

    m_readingDelay.setSingleShot(true);
    m_readingDelay.setInterval(kBusyDelay);
    connect(&m_readingDelay, &QTimer::timeout, this, &ControlsPane::updateSearch);

    connect(&model, &AppModel::searchTextChanged, this, &ControlsPane::updateSearch);
    connect(&model, &AppModel::canMarkAllChanged, this, &ControlsPane::updateSearch);
    connect(&model, &AppModel::ocrChanged, this, &ControlsPane::updateSearch);
    connect(&model, &AppModel::isReadingChanged, this, [this] {
        if (m_model.isReading())
            m_readingDelay.start();
        updateSearch();
    });
    connect(&model, &AppModel::readingTextChanged, this, &ControlsPane::updateSearch);
    // Marks and phrases change together: the rows are rebuilt once for both.
    const auto scheduleMarks = [this] {
        if (std::exchange(m_marksScheduled, true))
            return;
        QMetaObject::invokeMethod(this, [this] {
            m_marksScheduled = false;
            updateMarks();
        }, Qt::QueuedConnection);
    };
    connect(&model, &AppModel::selectedMarksChanged, this, scheduleMarks);
    connect(&model, &AppModel::searchTermsChanged, this, scheduleMarks);
    connect(&model, &AppModel::highlightedMarkChanged, this, &ControlsPane::updateHighlight);
    connect(&model, &AppModel::dpiChanged, this, &ControlsPane::updateResolution);
    connect(&model, &AppModel::outputFolderChanged, this, &ControlsPane::updateDestination);
    connect(&model, &AppModel::isRedactingChanged, this, &ControlsPane::updateBottomBar);
    connect(&model, &AppModel::progressChanged, this, &ControlsPane::updateBottomBar);
    connect(&model, &AppModel::progressTextChanged, this, &ControlsPane::updateBottomBar);
    connect(&model, &AppModel::readyInputsChanged, this, &ControlsPane::updateBottomBar);
    connect(&model, &AppModel::canRedactChanged, this, &ControlsPane::updateBottomBar);
    updateSearch();
    updateMarks();
    updateResolution();
    updateDestination();
    updateBottomBar();
}

QWidget* ControlsPane::buildFind(QWidget* parent)
{
    auto* section = new QWidget(parent);
    auto* layout = column(section, 10);
    layout->addWidget(text(QStringLiteral("Find text"), TextStyle::Style::headline, false, section));

    auto* row = new QHBoxLayout;
    m_search = new QLineEdit(section);
    m_search->setPlaceholderText(QStringLiteral("Name, number or phrase"));
    m_search->setClearButtonEnabled(false);
    // Files dropped here go to the window, not into the text.
    m_search->setAcceptDrops(false);
    connect(m_search, &QLineEdit::textEdited, this, [this](const QString& typed) { m_model.setSearchText(typed); });
    connect(m_search, &QLineEdit::returnPressed, this, [this] {
        m_model.addSearchMatches();
        // Back to the page, where the window's keys mean pages and marks again.
        Q_EMIT searchSubmitted();
    });
    m_search->installEventFilter(this);
    row->addWidget(m_search, 1);
    m_markAll = new QPushButton(QStringLiteral("Mark All"), section);
    connect(m_markAll, &QPushButton::clicked, this, [this] { m_model.addSearchMatches(); });
    row->addWidget(m_markAll);
    layout->addLayout(row);

    m_readingRow = new QWidget(section);
    auto* reading = new QHBoxLayout(m_readingRow);
    reading->setContentsMargins(0, 0, 0, 0);
    m_reading = text(QString(), TextStyle::Style::callout, true, m_readingRow);
    reading->addWidget(m_reading, 1);
    m_cancelReading = new QPushButton(QStringLiteral("Cancel"), m_readingRow);
    connect(m_cancelReading, &QPushButton::clicked, this, [this] { m_model.cancelReading(); });
    reading->addWidget(m_cancelReading);
    layout->addWidget(m_readingRow);

    m_hint = text(QString(), TextStyle::Style::caption, true, section);
    layout->addWidget(m_hint);
    layout->addWidget(new PatternChooser(m_model, section));
    return section;
}

QWidget* ControlsPane::buildMarks(QWidget* parent)
{
    auto* section = new QWidget(parent);
    auto* layout = column(section, 8);
    layout->setContentsMargins(24, 4, 24, 4);
    auto* header = new QHBoxLayout;
    header->addWidget(text(QStringLiteral("Marked content"), TextStyle::Style::headline, false, section));
    header->addStretch(1);
    m_markCount = new QLabel(section);
    TextStyle::makeSecondary(m_markCount);
    header->addWidget(m_markCount);
    layout->addLayout(header);

    m_phrases = new QWidget(section);
    m_phrasesLayout = column(m_phrases, 4);
    layout->addWidget(m_phrases);

    m_nothingMarked = text(QStringLiteral("Nothing is marked in this PDF."), TextStyle::Style::callout, true, section);
    layout->addWidget(m_nothingMarked);
    m_markScroll = new QScrollArea(section);
    m_markScroll->setFrameShape(QFrame::NoFrame);
    m_markScroll->setWidgetResizable(true);
    m_markScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_rows = new QWidget;
    m_rowsLayout = column(m_rows, 2);
    m_rowsLayout->addStretch(1);
    m_markScroll->setWidget(m_rows);
    layout->addWidget(m_markScroll, 1);
    m_clear = linkButton(QStringLiteral("Clear Redactions"), section);
    connect(m_clear, &QPushButton::clicked, this, [this] { m_model.clearSelectedMarks(); });
    layout->addWidget(m_clear);
    layout->addStretch(0);
    return section;
}

QWidget* ControlsPane::buildOutput(QWidget* parent)
{
    auto* section = new QWidget(parent);
    auto* layout = column(section, 12);
    layout->addWidget(text(QStringLiteral("Output"), TextStyle::Style::headline, false, section));

    auto* picker = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Image resolution"), section);
    picker->addWidget(label);
    m_resolution = new QComboBox(section);
    for (const Resolution& choice : kResolutions)
        m_resolution->addItem(QString::fromUtf16(choice.title), choice.dpi);
    label->setBuddy(m_resolution);
    m_resolution->setAccessibleName(QStringLiteral("Image resolution"));
    connect(m_resolution, &QComboBox::activated, this,
            [this](int index) { m_model.setDpi(m_resolution->itemData(index).toDouble()); });
    picker->addWidget(m_resolution, 1);
    m_smooth = new QCheckBox(QStringLiteral("Smooth text"), section);
    m_smooth->setToolTip(QStringLiteral("Anti-aliased pages that look like the original on screen; larger files"));
    m_smooth->setChecked(m_model.smooth());
    connect(m_smooth, &QCheckBox::toggled, this, [this](bool on) { m_model.setSmooth(on); });
    connect(&m_model, &AppModel::smoothChanged, m_smooth, [this] { m_smooth->setChecked(m_model.smooth()); });
    picker->addWidget(m_smooth);
    layout->addLayout(picker);

    m_destination = new ClampedLabel(3);
    TextStyle::apply(m_destination, TextStyle::Style::caption);
    layout->addWidget(iconLabel(Symbols::Symbol::folder, QColor(), m_destination, section, 15));

    m_chooseDestination = new QPushButton(QStringLiteral("Choose Destination\u2026"), section);
    m_chooseDestination->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_chooseDestination, &QPushButton::clicked, this, [this] { m_model.chooseOutputFolder(); });
    layout->addWidget(m_chooseDestination);
    return section;
}

QWidget* ControlsPane::buildBottomBar()
{
    auto* bar = new QWidget(this);
    auto* layout = column(bar, 10);
    layout->setContentsMargins(18, 18, 18, 18);

    m_redact = new QPushButton(bar);
    m_redact->setIcon(Symbols::drawn(Symbols::Symbol::eyeSlashFill, Qt::white));
    m_redact->setIconSize(QSize(18, 18));
    m_redact->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_redact->setMinimumHeight(38);
    m_redact->setCursor(Qt::PointingHandCursor);
    QFont strong = m_redact->font();
    strong.setBold(true);
    m_redact->setFont(strong);
    m_redact->setStyleSheet(QStringLiteral(
        "QPushButton { background-color: #d7261e; color: white; border: none; border-radius: 7px; padding: 8px 14px; }"
        "QPushButton:hover { background-color: #c4211a; }"
        "QPushButton:pressed { background-color: #a91c16; }"
        "QPushButton:disabled { background-color: rgba(215, 38, 30, 90); color: rgba(255, 255, 255, 200); }"));
    connect(m_redact, &QPushButton::clicked, this, [this] { m_model.redact(); });
    layout->addWidget(m_redact);

    m_running = new QWidget(bar);
    auto* running = column(m_running, 10);
    m_progress = new QProgressBar(m_running);
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    running->addWidget(m_progress);
    m_progressLabel = new ElidedLabel(QString(), m_running);
    m_progressLabel->setAlignment(Qt::AlignHCenter);
    TextStyle::apply(m_progressLabel, TextStyle::Style::caption);
    TextStyle::makeSecondary(m_progressLabel);
    running->addWidget(m_progressLabel);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), m_running);
    running->addWidget(m_cancel, 0, Qt::AlignHCenter);
    connect(m_cancel, &QPushButton::clicked, this, [this] { m_model.cancelRedaction(); });
    layout->addWidget(m_running);
    return bar;
}

void ControlsPane::updateSearch()
{
    if (m_search->text() != m_model.searchText())
        m_search->setText(m_model.searchText());
    m_markAll->setEnabled(m_model.canMarkAll());
    // Shown only for work that takes a while: a quick search just happens.
    m_readingRow->setVisible(m_model.isReading() && !m_readingDelay.isActive());
    m_reading->setText(m_model.readingText());
    switch (m_model.ocr().mode) {
    case OcrMode::automatic:
        m_hint->setText(QStringLiteral("Finds text in scans too: pages without usable text are read with OCR."));
        break;
    case OcrMode::always:
        m_hint->setText(QStringLiteral("Every page is also read with OCR, so pictures of text are found too."));
        break;
    case OcrMode::off:
        m_hint->setText(QStringLiteral("Search works with selectable text. Turn on OCR in Settings to find text in scans."));
        break;
    }
}

// A removable row: a text and an "x" button.
QWidget* ControlsPane::removableRow(QWidget* parent, const QString& help, const std::function<void()>& remove)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(4, 2, 0, 2);
    auto* button = new QToolButton(row);
    button->setObjectName(QStringLiteral("remove"));
    button->setAutoRaise(true);
    button->setIcon(Symbols::icon(Symbols::Symbol::xmarkCircleFill));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(help);
    button->setAccessibleName(help);
    connect(button, &QToolButton::clicked, this, remove);
    layout->addStretch(1);
    layout->addWidget(button);
    return row;
}

void ControlsPane::updateMarks()
{
    const QList<RedactionRegion> marks = m_model.selectedMarks();
    m_markCount->setText(QString::number(marks.size()));
    m_nothingMarked->setVisible(marks.isEmpty());
    m_clear->setVisible(!marks.isEmpty());

    // Rows are rebuilt; the old ones may be sending the click that led here,
    // so they go later.
    const auto clear = [](QWidget* holder, QVBoxLayout* layout) {
        for (QWidget* old : holder->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            layout->removeWidget(old);
            old->hide();
            old->deleteLater();
        }
    };
    clear(m_phrases, m_phrasesLayout);
    clear(m_rows, m_rowsLayout);

    for (const PhraseMarks& phrase : m_model.selectedPhrases()) {
        const QString name = phrase.phrase;
        const bool isPattern = phrase.isPattern;
        QWidget* row = removableRow(m_phrases,
                                    isPattern ? QStringLiteral("Remove this pattern and its marks")
                                              : QStringLiteral("Remove this phrase and its marks"),
                                    [this, name, isPattern] {
                                        if (isPattern)
                                            m_model.removePattern(name);
                                        else
                                            m_model.removePhrase(name);
                                    });
        row->setObjectName(QStringLiteral("phraseRow"));
        // Patterns go by their names, phrases in quotes as typed.
        const QString shown = isPattern ? name : QStringLiteral("\u201C%1\u201D").arg(name);
        auto* label = new ElidedLabel(QStringLiteral("%1 \u00B7 %2 marked").arg(shown).arg(phrase.marks), row);
        label->setObjectName(QStringLiteral("phraseName"));
        static_cast<QHBoxLayout*>(row->layout())->insertWidget(0, label, 1);
        m_phrasesLayout->addWidget(row);
    }
    m_phrases->setVisible(!m_model.selectedPhrases().isEmpty());

    m_markRows.clear();
    // A row is a few widgets: tens of thousands of them (a pattern on every
    // line of a long document) would hold the window for seconds. Past this
    // many, the page list's counts say where the rest are.
    constexpr qsizetype kMostRows = 300;
    const qsizetype shown = std::min(marks.size(), kMostRows);
    for (qsizetype i = 0; i < shown; ++i) {
        const RedactionRegion mark = marks[i];
        QWidget* row = removableRow(m_rows, QStringLiteral("Remove this redaction"),
                                    [this, mark] { m_model.removeMark(mark); });
        row->setObjectName(QStringLiteral("markRow"));
        auto* rowLayout = static_cast<QHBoxLayout*>(row->layout());
        auto* page = linkButton(QStringLiteral("Page %1").arg(mark.pageIndex() + 1), row);
        page->setObjectName(QStringLiteral("pageLink"));
        connect(page, &QPushButton::clicked, this, [this, mark] { m_model.showMark(mark); });
        rowLayout->insertWidget(0, page);
        const QString covered = m_model.markText(mark);
        auto* name = new ElidedLabel(covered.isEmpty() ? QStringLiteral("Area") : QStringLiteral("\u201C%1\u201D").arg(covered), row);
        name->setObjectName(QStringLiteral("markName"));
        TextStyle::makeSecondary(name);
        rowLayout->insertWidget(1, name, 1);
        row->setAutoFillBackground(true);
        row->setCursor(Qt::PointingHandCursor);
        row->installEventFilter(this);
        row->setProperty("markIndex", i);
        m_rowsLayout->insertWidget(m_rowsLayout->count() - 1, row);
        m_markRows.append({row, mark});
    }
    if (shown < marks.size()) {
        auto* more = text(QStringLiteral("and %L1 more").arg(marks.size() - shown), TextStyle::Style::caption, true, m_rows);
        more->setObjectName(QStringLiteral("moreMarks"));
        m_rowsLayout->insertWidget(m_rowsLayout->count() - 1, more);
    }
    m_markScroll->setVisible(!marks.isEmpty());
    updateHighlight();
}

void ControlsPane::updateHighlight()
{
    const auto& highlighted = m_model.highlightedMark();
    for (const auto& [row, mark] : std::as_const(m_markRows)) {
        const bool on = highlighted && *highlighted == mark;
        QPalette palette = row->palette();
        palette.setColor(QPalette::Window, on ? this->palette().color(QPalette::Highlight).lighter(170)
                                              : this->palette().color(QPalette::Window));
        row->setPalette(palette);
        if (on)
            m_markScroll->ensureWidgetVisible(row);
    }
}

bool ControlsPane::eventFilter(QObject* watched, QEvent* event)
{
    // Window commands win over the field's own bindings, except where the field
    // has a meaning for the key (its own undo while it has edits to undo).
    if (watched == m_search && event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QKeyCombination combo = key->keyCombination();
        const bool fieldUndo = (key->matches(QKeySequence::Undo) && m_search->isUndoAvailable())
                               || (key->matches(QKeySequence::Redo) && m_search->isRedoAvailable());
        const bool windowKey = combo == QKeyCombination(Qt::ControlModifier, Qt::Key_E)
                               || combo == QKeyCombination(Qt::ControlModifier, Qt::Key_G)
                               || key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown
                               || key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo)
                               || key->matches(QKeySequence::ZoomIn) || key->matches(QKeySequence::ZoomOut);
        if (windowKey && !fieldUndo) {
            event->ignore();
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        for (const auto& [row, mark] : std::as_const(m_markRows)) {
            if (row == watched) {
                m_model.showMark(mark);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ControlsPane::updateResolution()
{
    m_resolution->setCurrentIndex(m_resolution->findData(m_model.dpi()));
}

void ControlsPane::updateDestination()
{
    const auto& folder = m_model.outputFolder();
    m_destination->setText(folder ? *folder : QStringLiteral("Choose a destination"));
    m_destination->setColor(folder ? palette().color(QPalette::WindowText) : TextStyle::secondaryColor(this));
}

void ControlsPane::updateBottomBar()
{
    const bool redacting = m_model.isRedacting();
    m_redact->setVisible(!redacting);
    m_running->setVisible(redacting);
    m_redact->setText(m_model.actionTitle());
    m_redact->setEnabled(m_model.canRedact());
    // Finding phrases has no pages to count: the bar moves on its own meanwhile.
    m_progress->setRange(0, m_model.isRedacting() && m_model.progressSearching() ? 0 : 1000);
    m_progress->setValue(static_cast<int>(m_model.progress() * 1000));
    m_progressLabel->setText(m_model.progressText());
    m_progress->setAccessibleDescription(m_model.progressText());
}

} // namespace inkveil
