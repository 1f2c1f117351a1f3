#pragma once

#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QToolButton;

namespace inkveil {

class AppModel;

// The left pane: the header with the count and the add button, then either the
// empty state or the list of inputs, whose selection is the model's.
class FilesPane : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 250;
    static constexpr int kIdealWidth = 290;
    static constexpr int kMaximumWidth = 350;

    explicit FilesPane(AppModel& model, QWidget* parent = nullptr);

    QListWidget* list() const { return m_list; }
    QLabel* countLabel() const { return m_count; }
    QToolButton* addButton() const { return m_add; }
    QPushButton* chooseButton() const { return m_choose; }
    // The empty state is shown, not the list.
    bool showsEmptyState() const;

private:
    void rebuild();
    void updateBadges();
    void showSelection();
    void selectFromList();

    AppModel& m_model;
    QLabel* m_count = nullptr;
    QToolButton* m_add = nullptr;
    QPushButton* m_choose = nullptr;
    QStackedWidget* m_stack = nullptr;
    QListWidget* m_list = nullptr;
    bool m_syncing = false;
};

} // namespace inkveil
