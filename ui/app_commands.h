#pragma once

#include <QObject>

class QAction;
class QMenuBar;

namespace inkveil {

class AppModel;
class MarkHistory;
class PreviewPane;
class SettingsView;
class MainWindow;

// The menus and their shortcuts. Every command calls the model (or, for undo
// and zoom, the mark history and the preview); each is shown disabled while
// it cannot act.
class AppCommands : public QObject {
    Q_OBJECT

public:
    AppCommands(AppModel& model, MarkHistory& history, MainWindow& window, SettingsView& settings);

    QAction* addInputs() const { return m_addInputs; }
    QAction* addFolder() const { return m_addFolder; }
    QAction* openResult() const { return m_openResult; }
    QAction* previousPage() const { return m_previousPage; }
    QAction* nextPage() const { return m_nextPage; }
    QAction* goToPage() const { return m_goToPage; }
    QAction* removeSelected() const { return m_removeSelected; }
    QAction* removeAll() const { return m_removeAll; }
    QAction* redact() const { return m_redact; }
    QAction* quit() const { return m_quit; }
    QAction* undo() const { return m_undo; }
    QAction* redo() const { return m_redo; }
    QAction* zoomIn() const { return m_zoomIn; }
    QAction* zoomOut() const { return m_zoomOut; }
    QAction* fitPage() const { return m_fitPage; }
    QAction* feedback() const { return m_feedback; }
    QAction* about() const { return m_about; }
    // Null in a packaged build, which has no update items.
    QAction* updateTo() const { return m_updateTo; }
    QAction* checkForUpdates() const { return m_checkForUpdates; }

private:
    void updateEnabled();
    void updateHistory();

    AppModel& m_model;
    MarkHistory& m_history;
    QAction* m_addInputs = nullptr;
    QAction* m_addFolder = nullptr;
    QAction* m_openResult = nullptr;
    QAction* m_previousPage = nullptr;
    QAction* m_nextPage = nullptr;
    QAction* m_goToPage = nullptr;
    QAction* m_removeSelected = nullptr;
    QAction* m_removeAll = nullptr;
    QAction* m_redact = nullptr;
    QAction* m_quit = nullptr;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
    QAction* m_wholePage = nullptr;
    QAction* m_zoomIn = nullptr;
    QAction* m_zoomOut = nullptr;
    QAction* m_fitPage = nullptr;
    QAction* m_feedback = nullptr;
    QAction* m_about = nullptr;
    QAction* m_updateTo = nullptr;
    QAction* m_checkForUpdates = nullptr;
};

} // namespace inkveil
