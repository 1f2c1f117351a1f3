#pragma once

#include "core/records.h"

#include <QList>
#include <QTimer>
#include <QWidget>

class QCheckBox;
#include <functional>
#include <utility>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace inkveil {

class AppModel;
class ClampedLabel;
class ElidedLabel;

// The right pane: finding text, the marks of the selected document, the output
// settings, the note on what the output holds, and the bottom bar with the
// redact button or, during a run, its progress and "Cancel".
class ControlsPane : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 340;
    static constexpr int kIdealWidth = 380;
    static constexpr int kMaximumWidth = 430;
    // Work shorter than this shows no busy state.
    static constexpr int kBusyDelay = 200;

    explicit ControlsPane(AppModel& model, QWidget* parent = nullptr);

    QLineEdit* searchField() const { return m_search; }
    QPushButton* markAllButton() const { return m_markAll; }
    QLabel* markCount() const { return m_markCount; }
    QLabel* nothingMarked() const { return m_nothingMarked; }
    QWidget* markRows() const { return m_rows; }
    QPushButton* clearButton() const { return m_clear; }
    QComboBox* resolution() const { return m_resolution; }
    QCheckBox* smoothText() const { return m_smooth; }
    ClampedLabel* destination() const { return m_destination; }
    QPushButton* chooseDestinationButton() const { return m_chooseDestination; }
    QPushButton* redactButton() const { return m_redact; }
    QProgressBar* progressBar() const { return m_progress; }
    QPushButton* cancelButton() const { return m_cancel; }
    QLabel* searchHint() const { return m_hint; }
    QLabel* readingLabel() const { return m_reading; }
    QPushButton* cancelReadingButton() const { return m_cancelReading; }
    QWidget* phraseRows() const { return m_phrases; }
    QScrollArea* markScroll() const { return m_markScroll; }
    QWidget* outputSection() const { return m_outputSection; }
    ElidedLabel* progressLabel() const { return m_progressLabel; }

Q_SIGNALS:
    // A search was asked for from the field: the page may take the keys back.
    void searchSubmitted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildFind(QWidget* parent);
    QWidget* buildMarks(QWidget* parent);
    QWidget* buildOutput(QWidget* parent);
    QWidget* buildBottomBar();
    void updateSearch();
    void updateMarks();
    void updateResolution();
    void updateDestination();
    void updateBottomBar();
    void updateHighlight();
    QWidget* removableRow(QWidget* parent, const QString& help, const std::function<void()>& remove);

    AppModel& m_model;
    QLineEdit* m_search = nullptr;
    QPushButton* m_markAll = nullptr;
    QLabel* m_markCount = nullptr;
    QLabel* m_nothingMarked = nullptr;
    QWidget* m_rows = nullptr;
    QLabel* m_hint = nullptr;
    QWidget* m_readingRow = nullptr;
    QLabel* m_reading = nullptr;
    QPushButton* m_cancelReading = nullptr;
    QVBoxLayout* m_rowsLayout = nullptr;
    QPushButton* m_clear = nullptr;
    QComboBox* m_resolution = nullptr;
    QCheckBox* m_smooth = nullptr;
    ClampedLabel* m_destination = nullptr;
    QPushButton* m_chooseDestination = nullptr;
    QPushButton* m_redact = nullptr;
    QWidget* m_running = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_cancel = nullptr;
    QWidget* m_phrases = nullptr;
    QVBoxLayout* m_phrasesLayout = nullptr;
    QScrollArea* m_markScroll = nullptr;
    QWidget* m_outputSection = nullptr;
    ElidedLabel* m_progressLabel = nullptr;
    QList<std::pair<QWidget*, RedactionRegion>> m_markRows;
    QTimer m_readingDelay;
    bool m_marksScheduled = false;
};

} // namespace inkveil
