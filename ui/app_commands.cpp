#include "ui/app_commands.h"

#include "app/app_model.h"
#include "app/mark_history.h"
#include "core/build_settings.h"
#include "ui/content_view.h"
#include "ui/files_pane.h"
#include "ui/main_window.h"
#include "ui/preview_pane.h"
#include "ui/settings_view.h"
#include "ui/update_commands.h"

#include <QAction>
#include <QDesktopServices>
#include <QInputDialog>
#include <QListWidget>
#include <QUrl>
#include <QMenu>
#include <QMenuBar>

namespace inkveil {

AppCommands::AppCommands(AppModel& model, MarkHistory& history, MainWindow& window, SettingsView& settings)
    : QObject(&window), m_model(model), m_history(history)
{
    QMenuBar* bar = window.menuBar();
    PreviewPane* preview = window.content()->previewPane();

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    m_addInputs = file->addAction(QStringLiteral("Add Files\u2026"), this, [this] { m_model.chooseInputs(); });
    m_addInputs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    m_addFolder = file->addAction(QStringLiteral("Add Folder\u2026"), this, [this] { m_model.chooseInputFolder(); });
    m_addFolder->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    m_removeSelected = file->addAction(QStringLiteral("Remove Selected"), this, [this] { m_model.removeSelected(); });
    // Only in the files list: elsewhere Delete means the box or the text at hand.
    m_removeSelected->setShortcuts({QKeySequence(Qt::Key_Delete), QKeySequence(Qt::Key_Backspace)});
    m_removeSelected->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    window.content()->filesPane()->list()->addAction(m_removeSelected);
    m_removeAll = file->addAction(QStringLiteral("Remove All"), this, [this] { m_model.removeAll(); });
    file->addSeparator();
    m_redact = file->addAction(QStringLiteral("Redact\u2026"), this, [this] { m_model.redact(); });
    m_redact->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_openResult = file->addAction(QStringLiteral("Open Result"), this, [this] {
        if (!m_model.outputs().isEmpty())
            QDesktopServices::openUrl(QUrl::fromLocalFile(m_model.outputs().front()));
    });
    file->addSeparator();
    m_quit = file->addAction(QStringLiteral("Quit"), &window, &QWidget::close);
    m_quit->setShortcut(QKeySequence::Quit);
    m_quit->setMenuRole(QAction::QuitRole);

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    m_undo = edit->addAction(QStringLiteral("Undo"), this, [this] { m_history.undo(); });
    m_undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    m_redo = edit->addAction(QStringLiteral("Redo"), this, [this] { m_history.redo(); });
    m_redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    edit->addSeparator();
    m_wholePage = edit->addAction(QStringLiteral("Redact Whole Page"), this, [this] { m_model.redactWholePage(); });

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    m_zoomIn = view->addAction(QStringLiteral("Zoom In"), preview, &PreviewPane::zoomIn);
    m_zoomIn->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    m_zoomOut = view->addAction(QStringLiteral("Zoom Out"), preview, &PreviewPane::zoomOut);
    m_zoomOut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
    m_fitPage = view->addAction(QStringLiteral("Fit Page"), preview, &PreviewPane::zoomToFit);
    m_fitPage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    view->addSeparator();
    m_previousPage = view->addAction(QStringLiteral("Previous Page"), this, [this] { m_model.previousPage(); });
    m_previousPage->setShortcut(QKeySequence(Qt::Key_PageUp));
    m_nextPage = view->addAction(QStringLiteral("Next Page"), this, [this] { m_model.nextPage(); });
    m_nextPage->setShortcut(QKeySequence(Qt::Key_PageDown));
    m_goToPage = view->addAction(QStringLiteral("Go to Page\u2026"), this, [this, &window] {
        const int pages = m_model.selectedPageCount();
        if (pages < 1)
            return;
        bool ok = false;
        const int page = QInputDialog::getInt(&window, QStringLiteral("Go to Page"),
                                              QStringLiteral("Page (1 to %1):").arg(pages), m_model.currentPage() + 1, 1,
                                              pages, 1, &ok);
        if (ok)
            m_model.setCurrentPage(page - 1);
    });
    m_goToPage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    m_feedback = help->addAction(QStringLiteral("Inkveil Feedback\u2026"), this,
                                 [this] { QDesktopServices::openUrl(m_model.feedbackURL()); });
    help->addSeparator();
    m_about = help->addAction(QStringLiteral("About Inkveil"), &settings, [&settings] {
        settings.show();
        settings.raise();
        settings.activateWindow();
    });
    m_about->setMenuRole(QAction::AboutRole);
    // A packaged program is updated by the package manager, not from here.
    if (BuildSettings::selfUpdates()) {
        m_updateTo = help->addAction(QString());
        m_checkForUpdates = help->addAction(QStringLiteral("Check for Updates\u2026"));
        connectUpdateCommands(model, *m_updateTo, *m_checkForUpdates);
    }

    for (auto signal : {&AppModel::isRedactingChanged, &AppModel::selectionChanged, &AppModel::inputsChanged,
                        &AppModel::canRedactChanged, &AppModel::outputsChanged, &AppModel::currentPageChanged,
                        &AppModel::selectedChanged})
        connect(&model, signal, this, &AppCommands::updateEnabled);
    connect(&history, &MarkHistory::changed, this, &AppCommands::updateHistory);
    connect(&model, &AppModel::selectionChanged, this, &AppCommands::updateHistory);
    updateEnabled();
    updateHistory();
}

void AppCommands::updateEnabled()
{
    const bool idle = !m_model.isRedacting();
    m_addInputs->setEnabled(idle);
    m_addFolder->setEnabled(idle);
    m_removeSelected->setEnabled(idle && m_model.selection().has_value());
    m_removeAll->setEnabled(idle && !m_model.inputs().isEmpty());
    m_wholePage->setEnabled(m_model.selection().has_value());
    m_redact->setEnabled(m_model.canRedact());
    m_openResult->setEnabled(!m_model.outputs().isEmpty());
    const int pages = m_model.selectedPageCount();
    m_previousPage->setEnabled(m_model.currentPage() > 0);
    m_nextPage->setEnabled(m_model.currentPage() + 1 < pages);
    m_goToPage->setEnabled(pages > 1);
}

void AppCommands::updateHistory()
{
    m_undo->setEnabled(m_history.canUndo());
    m_redo->setEnabled(m_history.canRedo());
}

} // namespace inkveil
