#include "ui/empty_state.h"

#include "ui/text_styles.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace inkveil {

EmptyState::EmptyState(const QIcon& icon, const QString& title, const QString& description, QWidget* parent)
    : QWidget(parent)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(20, 20, 20, 20);
    outer->addStretch(1);

    m_column = new QWidget(this);
    auto* column = new QVBoxLayout(m_column);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);

    auto* symbol = new QLabel(m_column);
    symbol->setPixmap(icon.pixmap(QSize(40, 40)));
    symbol->setAlignment(Qt::AlignCenter);
    TextStyle::makeSecondary(symbol);
    column->addWidget(symbol);

    auto* heading = new QLabel(title, m_column);
    heading->setObjectName(QStringLiteral("emptyTitle"));
    TextStyle::apply(heading, TextStyle::Style::title3, true);
    heading->setAlignment(Qt::AlignCenter);
    column->addWidget(heading);

    auto* text = new QLabel(description, m_column);
    text->setObjectName(QStringLiteral("emptyDescription"));
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    TextStyle::apply(text, TextStyle::Style::callout);
    TextStyle::makeSecondary(text);
    column->addWidget(text);

    outer->addWidget(m_column);
    outer->addStretch(1);
}

QPushButton* EmptyState::addButton(const QString& text)
{
    auto* button = new QPushButton(text, m_column);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(button);
    row->addStretch(1);
    static_cast<QVBoxLayout*>(m_column->layout())->addSpacing(6);
    static_cast<QVBoxLayout*>(m_column->layout())->addLayout(row);
    return button;
}

} // namespace inkveil
