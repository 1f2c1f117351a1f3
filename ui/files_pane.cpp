#include "ui/files_pane.h"

#include "app/app_model.h"
#include "ui/empty_state.h"
#include "ui/file_detail.h"
#include "ui/input_row_delegate.h"
#include "ui/symbols.h"
#include "ui/text_styles.h"

#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace inkveil {

namespace {

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

FilesPane::FilesPane(AppModel& model, QWidget* parent) : QWidget(parent), m_model(model)
{
    setMinimumWidth(kMinimumWidth);
    setMaximumWidth(kMaximumWidth);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(18, 18, 18, 18);
    auto* title = new QLabel(QStringLiteral("Files"), this);
    TextStyle::apply(title, TextStyle::Style::title3, true);
    header->addWidget(title);
    header->addSpacing(4);
    m_count = new QLabel(this);
    TextStyle::apply(m_count, TextStyle::Style::title3);
    TextStyle::makeSecondary(m_count);
    header->addWidget(m_count);
    header->addStretch(1);
    m_add = new QToolButton(this);
    m_add->setAutoRaise(true);
    m_add->setIcon(Symbols::icon(Symbols::Symbol::plus));
    m_add->setIconSize(QSize(18, 18));
    m_add->setToolTip(QStringLiteral("Add PDFs or folders"));
    m_add->setAccessibleName(QStringLiteral("Add PDFs or folders"));
    auto* addMenu = new QMenu(m_add);
    addMenu->addAction(QStringLiteral("Add Files\u2026"), this, [this] { m_model.chooseInputs(); });
    addMenu->addAction(QStringLiteral("Add Folder\u2026"), this, [this] { m_model.chooseInputFolder(); });
    m_add->setMenu(addMenu);
    m_add->setPopupMode(QToolButton::InstantPopup);
    header->addWidget(m_add);
    layout->addLayout(header);
    layout->addWidget(divider(this));

    m_stack = new QStackedWidget(this);
    auto* empty = new EmptyState(Symbols::drawn(Symbols::Symbol::docBadgePlus), QStringLiteral("Drop PDFs here"),
                                 QStringLiteral("Add PDF documents or whole folders. Originals are never changed."),
                                 m_stack);
    m_choose = empty->addButton(QStringLiteral("Choose PDFs\u2026"));
    connect(m_choose, &QPushButton::clicked, this, [this] { m_model.chooseInputs(); });
    QPushButton* folder = empty->addButton(QStringLiteral("Choose Folder\u2026"));
    connect(folder, &QPushButton::clicked, this, [this] { m_model.chooseInputFolder(); });
    m_stack->addWidget(empty);

    m_list = new QListWidget(m_stack);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setItemDelegate(new InputRowDelegate(m_list));
    m_list->setUniformItemSizes(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &FilesPane::selectFromList);
    m_stack->addWidget(m_list);
    layout->addWidget(m_stack, 1);

    connect(&model, &AppModel::inputsChanged, this, &FilesPane::rebuild);
    connect(&model, &AppModel::marksChanged, this, &FilesPane::updateBadges);
    connect(&model, &AppModel::selectionChanged, this, &FilesPane::showSelection);
    rebuild();
}

bool FilesPane::showsEmptyState() const
{
    return m_stack->currentIndex() == 0;
}

void FilesPane::rebuild()
{
    const QList<RedactInput>& inputs = m_model.inputs();
    m_count->setVisible(!inputs.isEmpty());
    m_count->setText(QString::number(inputs.size()));
    m_stack->setCurrentIndex(inputs.isEmpty() ? 0 : 1);

    m_syncing = true;
    m_list->clear();
    for (const RedactInput& input : inputs) {
        auto* item = new QListWidgetItem(QFileInfo(input.url).fileName(), m_list);
        item->setData(InputRowDelegate::IdRole, input.id);
        item->setData(InputRowDelegate::DetailRole, fileDetail(input));
        item->setToolTip(input.url);
    }
    m_syncing = false;
    updateBadges();
    showSelection();
}

void FilesPane::updateBadges()
{
    const MarksByInput& marks = m_model.marks();
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        const auto id = item->data(InputRowDelegate::IdRole).toUuid();
        item->setData(InputRowDelegate::MarkCountRole, static_cast<int>(marks.value(id).size()));
    }
}

void FilesPane::showSelection()
{
    m_syncing = true;
    const auto selection = m_model.selection();
    QListWidgetItem* current = nullptr;
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        if (selection && item->data(InputRowDelegate::IdRole).toUuid() == *selection)
            current = item;
    }
    if (current) {
        m_list->setCurrentItem(current, QItemSelectionModel::ClearAndSelect);
        m_list->scrollToItem(current);
    } else {
        m_list->clearSelection();
    }
    m_syncing = false;
}

void FilesPane::selectFromList()
{
    if (m_syncing)
        return;
    const QList<QListWidgetItem*> chosen = m_list->selectedItems();
    if (chosen.isEmpty()) {
        // A list with single selection can be emptied only by the model; keep
        // the model's selection shown.
        showSelection();
        return;
    }
    const QUuid id = chosen.front()->data(InputRowDelegate::IdRole).toUuid();
    if (m_model.selection() != id)
        m_model.setSelection(id);
}

} // namespace inkveil
