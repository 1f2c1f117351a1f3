#include "ui/main_window.h"

#include "ui/content_view.h"
#include "ui/inkveil_delegate.h"

#include "app/app_model.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QShowEvent>

namespace inkveil {

MainWindow::MainWindow(AppModel& model, InkveilDelegate& delegate, QWidget* parent)
    : QMainWindow(parent), m_delegate(delegate)
{
    m_content = new ContentView(model, this);
    const auto updateTitle = [this, &model] {
        const auto input = model.selected();
        setWindowTitle(input ? QStringLiteral("%1 \u2014 Inkveil").arg(QFileInfo(input->url).fileName())
                             : QStringLiteral("Inkveil"));
    };
    connect(&model, &AppModel::selectedChanged, this, updateTitle);
    updateTitle();
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
