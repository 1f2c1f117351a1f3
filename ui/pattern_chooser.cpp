#include "ui/pattern_chooser.h"

#include "app/app_model.h"
#include "core/patterns.h"
#include "ui/elided_label.h"
#include "ui/text_styles.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace inkveil {

PatternChooser::PatternChooser(AppModel& model, QWidget* parent) : QWidget(parent), m_model(model)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(4);
    // Folded away until wanted: the marks below need the room more often.
    auto* toggle = new QToolButton(this);
    toggle->setObjectName(QStringLiteral("patternsToggle"));
    toggle->setText(QStringLiteral("Kinds of text and expressions"));
    toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toggle->setArrowType(Qt::RightArrow);
    toggle->setCheckable(true);
    toggle->setAutoRaise(true);
    outer->addWidget(toggle);
    auto* body = new QWidget(this);
    body->setVisible(false);
    connect(toggle, &QToolButton::toggled, this, [toggle, body](bool open) {
        toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        body->setVisible(open);
    });
    outer->addWidget(body);

    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(2);
    // Two to a row keeps the section short enough for the marks below it.
    int cell = 0;
    for (const auto& [name, example] : PatternSet::builtIns()) {
        auto* box = new QCheckBox(name, body);
        box->setObjectName(name);
        box->setToolTip(QStringLiteral("Every valid %1, such as %2").arg(name, example));
        connect(box, &QCheckBox::toggled, this, &PatternChooser::updateEnabled);
        auto* sample = new ElidedLabel(example, body);
        TextStyle::apply(sample, TextStyle::Style::caption);
        TextStyle::makeSecondary(sample);
        grid->addWidget(box, cell / 2, (cell % 2) * 2);
        grid->addWidget(sample, cell / 2, (cell % 2) * 2 + 1);
        ++cell;
        m_patterns.push_back(box);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    layout->addLayout(grid);

    auto* expressionRow = new QHBoxLayout;
    m_expression = new QLineEdit(body);
    m_expression->setObjectName(QStringLiteral("expression"));
    m_expression->setPlaceholderText(QStringLiteral("Regular expression, e.g. INV-[0-9]{6}"));
    m_expression->setAcceptDrops(false);
    connect(m_expression, &QLineEdit::textChanged, this, &PatternChooser::updateEnabled);
    connect(m_expression, &QLineEdit::returnPressed, this, &PatternChooser::mark);
    expressionRow->addWidget(m_expression, 1);
    m_mark = new QPushButton(QStringLiteral("Mark Matches"), body);
    connect(m_mark, &QPushButton::clicked, this, &PatternChooser::mark);
    expressionRow->addWidget(m_mark);
    layout->addLayout(expressionRow);

    connect(&model, &AppModel::selectionChanged, this, &PatternChooser::updateEnabled);
    updateEnabled();
}

void PatternChooser::mark()
{
    QStringList names;
    for (const QCheckBox* box : m_patterns) {
        if (box->isChecked())
            names.append(box->objectName());
    }
    m_model.addPatternMatches(names, m_expression->text());
}

void PatternChooser::updateEnabled()
{
    const bool chosen = std::any_of(m_patterns.begin(), m_patterns.end(), [](const QCheckBox* box) { return box->isChecked(); })
        || !m_expression->text().trimmed().isEmpty();
    m_mark->setEnabled(chosen && m_model.selection().has_value());
}

} // namespace inkveil
