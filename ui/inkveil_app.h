#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

namespace inkveil {

class AppCommands;
class AppModel;
class DesktopDialogs;
class InkveilDelegate;
class MainWindow;
class MarkHistory;
class SettingsView;

// The application: the one model for the whole run, the mark history beside
// it, the delegate, the main window with its menus, and the settings window.
class InkveilApp : public QObject {
    Q_OBJECT

public:
    // Creates the model first (it reads the environment), then the windows.
    explicit InkveilApp(QObject* parent = nullptr);
    ~InkveilApp() override;

    AppModel& model() const { return *m_model; }
    MarkHistory& history() const { return *m_history; }
    InkveilDelegate& delegate() const { return *m_delegate; }
    MainWindow& window() const { return *m_window; }
    SettingsView& settings() const { return *m_settings; }
    AppCommands& commands() const { return *m_commands; }

    void show();
    // Files opened from the desktop or handed over by a later launch; brings
    // the window forward.
    void open(const QStringList& files);

private:
    std::unique_ptr<AppModel> m_model;
    std::unique_ptr<MarkHistory> m_history;
    std::unique_ptr<DesktopDialogs> m_dialogs;
    std::unique_ptr<InkveilDelegate> m_delegate;
    std::unique_ptr<MainWindow> m_window;
    SettingsView* m_settings = nullptr; // owned by the window
    AppCommands* m_commands = nullptr;  // owned by the window
};

} // namespace inkveil
