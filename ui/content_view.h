#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

class QSplitter;

namespace inkveil {

class AppModel;
class ControlsPane;
class FilesPane;
class PreviewPane;

// The main window's content: the three panes side by side, files dropped
// anywhere on it (with the blue outline while they are dragged over it), and
// the model's error message as an alert.
class ContentView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 1080;
    static constexpr int kMinimumHeight = 680;
    static inline const QString kErrorTitle = QStringLiteral("Redaction couldn't be completed");

    explicit ContentView(AppModel& model, QWidget* parent = nullptr);

    FilesPane* filesPane() const { return m_files; }
    PreviewPane* previewPane() const { return m_preview; }
    ControlsPane* controlsPane() const { return m_controls; }
    QSplitter* splitter() const { return m_splitter; }
    // The error alert, once one was shown.
    QMessageBox* errorAlert() const { return m_alert; }
    // The blue outline is shown.
    bool showsDropOutline() const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void showError();

    AppModel& m_model;
    QSplitter* m_splitter = nullptr;
    FilesPane* m_files = nullptr;
    PreviewPane* m_preview = nullptr;
    ControlsPane* m_controls = nullptr;
    QWidget* m_outline = nullptr;
    QPointer<QMessageBox> m_alert;
    QPushButton* m_redactAnyway = nullptr; // in m_alert while a damaged page is the cause
};

} // namespace inkveil
