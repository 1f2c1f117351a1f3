#include "ui/main_window.h"

#include "ui/content_view.h"
#include "ui/inkveil_delegate.h"

#include <QCloseEvent>
#include <QShowEvent>

namespace inkveil {

MainWindow::MainWindow(AppModel& model, InkveilDelegate& delegate, QWidget* parent)
    : QMainWindow(parent), m_delegate(delegate)
{
    setWindowTitle(QStringLiteral("Inkveil"));
    m_content = new ContentView(model, this);
    setCentralWidget(m_content);
    resize(kDefaultWidth, kDefaultHeight);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    Q_EMIT shown();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_delegate.shouldTerminate(this))
        event->accept();
    else
        event->ignore();
}

} // namespace inkveil
