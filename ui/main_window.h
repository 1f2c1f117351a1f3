#pragma once

#include <QMainWindow>

namespace inkveil {

class AppModel;
class ContentView;
class InkveilDelegate;

// The one main window: the content view with the menus of the application.
// Closing it (or quitting) goes through the delegate's confirmation.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kDefaultWidth = 1280;
    static constexpr int kDefaultHeight = 790;

    MainWindow(AppModel& model, InkveilDelegate& delegate, QWidget* parent = nullptr);

    ContentView* content() const { return m_content; }

Q_SIGNALS:
    // Every time the window is shown.
    void shown();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    InkveilDelegate& m_delegate;
    ContentView* m_content = nullptr;
};

} // namespace inkveil
