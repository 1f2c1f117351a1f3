#pragma once

#include <QStyledItemDelegate>

namespace inkveil {

// Draws one row of the files list: document symbol, file name over its detail
// line, and the red badge with the number of marks when there are any.
class InputRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // Item data beyond the display role (the file name).
    enum Role { IdRole = Qt::UserRole + 1, DetailRole, MarkCountRole };

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The badge's rectangle in a row of the given rectangle; empty for no marks.
    static QRect badgeRect(const QRect& row, int count);
};

} // namespace inkveil
