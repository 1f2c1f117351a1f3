#pragma once

#include <QWidget>

class QComboBox;
class QLabel;

namespace inkveil {

class AppModel;

// The settings window: how pages are read as pictures of text (OCR mode and
// language), and the "About" section with the version and the feedback and
// website links.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 460;

    explicit SettingsView(AppModel& model, QWidget* parent = nullptr);

    QLabel* versionLabel() const { return m_version; }
    QLabel* feedbackLink() const { return m_feedback; }
    QLabel* websiteLink() const { return m_website; }
    QComboBox* ocrMode() const { return m_ocrMode; }
    QComboBox* ocrLanguage() const { return m_ocrLanguage; }

private:
    void updateOcr();

    AppModel& m_model;
    QComboBox* m_ocrMode = nullptr;
    QComboBox* m_ocrLanguage = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_feedback = nullptr;
    QLabel* m_website = nullptr;
};

} // namespace inkveil
