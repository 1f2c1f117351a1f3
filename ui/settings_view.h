#pragma once

#include <QWidget>

class QLabel;

namespace inkveil {

class AppModel;

// The settings window: a form with its "About" section, the version and the
// feedback and website links.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 460;

    explicit SettingsView(AppModel& model, QWidget* parent = nullptr);

    QLabel* versionLabel() const { return m_version; }
    QLabel* feedbackLink() const { return m_feedback; }
    QLabel* websiteLink() const { return m_website; }

private:
    QLabel* m_version = nullptr;
    QLabel* m_feedback = nullptr;
    QLabel* m_website = nullptr;
};

} // namespace inkveil
