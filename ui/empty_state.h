#pragma once

#include <QIcon>
#include <QWidget>

class QLabel;
class QPushButton;

namespace inkveil {

// A centred panel for "nothing here yet": symbol, title, description and an
// optional button.
class EmptyState : public QWidget {
    Q_OBJECT

public:
    EmptyState(const QIcon& icon, const QString& title, const QString& description, QWidget* parent = nullptr);

    // Adds the one button; returns it to connect.
    QPushButton* addButton(const QString& text);

private:
    QWidget* m_column = nullptr;
};

} // namespace inkveil
