#pragma once

#include <QWidget>

#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace inkveil {

class AppModel;

// The "Find text" section's kinds of text: a check box per built-in pattern,
// each with a short example, and a field for a regular expression. "Mark
// Matches" marks what they find in the selected document.
class PatternChooser : public QWidget {
    Q_OBJECT

public:
    explicit PatternChooser(AppModel& model, QWidget* parent = nullptr);

private:
    void mark();
    void updateEnabled();

    AppModel& m_model;
    std::vector<QCheckBox*> m_patterns;
    QLineEdit* m_expression = nullptr;
    QPushButton* m_mark = nullptr;
};

} // namespace inkveil
