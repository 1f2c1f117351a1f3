#include "ui/inkveil_app.h"

#include "app/app_model.h"
#include "app/mark_history.h"
#include "ui/app_commands.h"
#include "ui/desktop_dialogs.h"
#include "ui/inkveil_delegate.h"
#include "ui/main_window.h"
#include "ui/settings_view.h"

namespace inkveil {

InkveilApp::InkveilApp(QObject* parent)
    : QObject(parent),
      m_model(std::make_unique<AppModel>()),
      m_history(std::make_unique<MarkHistory>(*m_model)),
      m_dialogs(std::make_unique<DesktopDialogs>()),
      m_delegate(std::make_unique<InkveilDelegate>())
{
    m_window = std::make_unique<MainWindow>(*m_model, *m_delegate);
    m_dialogs->setParent(m_window.get());
    m_model->setDialogs(m_dialogs.get());
    // After an installed update the application quits as a user would, so a
    // run in progress is confirmed first.
    UpdateServices services;
    services.quit = [this] { m_window->close(); };
    m_model->setUpdateServices(std::move(services));
    m_settings = new SettingsView(*m_model, m_window.get());
    m_commands = new AppCommands(*m_model, *m_history, *m_window, *m_settings);
    // The model reaches the delegate once the window shows, and with it
    // whatever was opened before.
    connect(m_window.get(), &MainWindow::shown, this, [this] { m_delegate->setModel(m_model.get()); });
}

InkveilApp::~InkveilApp()
{
    // Views go before the model they show.
    m_model->setDialogs(nullptr);
    m_window.reset();
}

void InkveilApp::show()
{
    m_window->show();
}

void InkveilApp::open(const QStringList& files)
{
    m_delegate->openFiles(files);
    if (m_window->isVisible()) {
        m_window->setWindowState((m_window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        m_window->raise();
        m_window->activateWindow();
    }
}

} // namespace inkveil
