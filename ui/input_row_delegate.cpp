#include "ui/input_row_delegate.h"

#include "ui/symbols.h"
#include "ui/text_styles.h"

#include <QApplication>
#include <QPainter>

namespace inkveil {

namespace {

constexpr int kVerticalPadding = 4;
constexpr int kRowInset = 8;    // the list's own inset of row content
constexpr int kSpacing = 10;
constexpr int kSymbolSide = 22;
constexpr int kBadgeHorizontal = 7;
constexpr int kBadgeVertical = 3;

QFont badgeFont()
{
    QFont f = TextStyle::font(TextStyle::Style::caption);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

} // namespace

QRect InputRowDelegate::badgeRect(const QRect& row, int count)
{
    if (count <= 0)
        return {};
    const QFontMetrics fm(badgeFont());
    const int width = fm.horizontalAdvance(QString::number(count)) + 2 * kBadgeHorizontal;
    const int height = fm.height() + 2 * kBadgeVertical;
    return {row.right() - kRowInset - width + 1, row.center().y() - height / 2, width, height};
}

QSize InputRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    const QFontMetrics name(TextStyle::font(TextStyle::Style::body));
    const QFontMetrics detail(TextStyle::font(TextStyle::Style::caption));
    // A little air between rows, as list rows have.
    const int height = 2 * kVerticalPadding + name.height() + detail.height() + 2 + 6;
    return {option.rect.width(), std::max(height, kSymbolSide + 2 * kVerticalPadding)};
}

void InputRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    opt.text.clear();
    opt.icon = QIcon();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    const QColor text = option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    QColor secondary = text;
    secondary.setAlphaF(0.62f);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRect row = option.rect;
    int x = row.left() + kRowInset;

    const QRect symbol(x, row.center().y() - kSymbolSide / 2, kSymbolSide, kSymbolSide);
    Symbols::icon(Symbols::Symbol::docRichtext, selected ? text : QColor()).paint(painter, symbol);
    x += kSymbolSide + kSpacing;

    const int count = index.data(MarkCountRole).toInt();
    const QRect badge = badgeRect(row, count);
    const int textRight = (count > 0 ? badge.left() - kSpacing : row.right() - kRowInset);

    const QFont nameFont = TextStyle::font(TextStyle::Style::body);
    const QFont detailFont = TextStyle::font(TextStyle::Style::caption);
    const QFontMetrics nameMetrics(nameFont);
    const QFontMetrics detailMetrics(detailFont);
    const int block = nameMetrics.height() + 2 + detailMetrics.height();
    const int top = row.center().y() - block / 2;
    const int width = std::max(0, textRight - x);

    painter->setFont(nameFont);
    painter->setPen(text);
    painter->drawText(QRect(x, top, width, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, width));
    painter->setFont(detailFont);
    painter->setPen(secondary);
    painter->drawText(QRect(x, top + nameMetrics.height() + 2, width, detailMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      detailMetrics.elidedText(index.data(DetailRole).toString(), Qt::ElideRight, width));

    if (count > 0) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(TextStyle::kAccentRed);
        painter->drawRoundedRect(badge, badge.height() / 2.0, badge.height() / 2.0);
        painter->setFont(badgeFont());
        painter->setPen(Qt::white);
        painter->drawText(badge, Qt::AlignCenter, QString::number(count));
    }
    painter->restore();
}

} // namespace inkveil
