#include "ui/desktop_dialogs.h"

#include <QAbstractItemView>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QUuid>

namespace inkveil {

namespace {

const QString kPdfFilter = QStringLiteral("PDF documents and folders (*.[pP][dD][fF])");

// A file dialog's own list of what is selected, files and folders alike (the
// dialog itself would open a selected folder instead of returning it).
QStringList selectedEntries(QFileDialog& dialog)
{
    QStringList chosen;
    for (const char* name : {"listView", "treeView"}) {
        auto* view = dialog.findChild<QAbstractItemView*>(QString::fromLatin1(name));
        if (!view || !view->isVisible() || !view->selectionModel())
            continue;
        for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
            const QString path = index.data(QFileSystemModel::FilePathRole).toString();
            if (!path.isEmpty() && !chosen.contains(path))
                chosen.append(path);
        }
    }
    return chosen;
}

} // namespace

QStringList DesktopDialogs::chooseInputs(const QString& title, const QString& prompt)
{
    QFileDialog dialog(m_parent, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(kPdfFilter);
    dialog.setLabelText(QFileDialog::Accept, prompt);

    // Files and folders together: the confirm button takes the selection as it
    // is; with nothing selected it takes what the name field names.
    QStringList chosen;
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
        if (QPushButton* confirm = buttons->button(QDialogButtonBox::Open)) {
            QObject::disconnect(confirm, nullptr, nullptr, nullptr);
            QObject::connect(confirm, &QPushButton::clicked, &dialog, [&dialog, &chosen] {
                chosen = selectedEntries(dialog);
                if (chosen.isEmpty())
                    chosen = dialog.selectedFiles();
                if (!chosen.isEmpty())
                    static_cast<QDialog&>(dialog).done(QDialog::Accepted);
            });
            // The dialog renames its button "Open" when a folder is selected;
            // here a folder is added like a file, so the label stays.
            const auto keepLabel = [confirm, prompt] { confirm->setText(prompt); };
            QObject::connect(&dialog, &QFileDialog::currentChanged, confirm, keepLabel);
            QObject::connect(&dialog, &QFileDialog::directoryEntered, confirm, keepLabel);
            if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                QObject::connect(name, &QLineEdit::textChanged, confirm, keepLabel);
            for (const char* viewName : {"listView", "treeView"}) {
                auto* view = dialog.findChild<QAbstractItemView*>(QString::fromLatin1(viewName));
                if (view && view->selectionModel())
                    QObject::connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, confirm, keepLabel);
            }
        }
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return chosen.isEmpty() ? dialog.selectedFiles() : chosen;
}

std::optional<QString> DesktopDialogs::chooseOutputFolder(const QString& title, const QString& prompt,
                                                          const std::optional<QString>& startFolder)
{
    QFileDialog dialog(m_parent, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, prompt);
    if (startFolder)
        dialog.setDirectory(*startFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front();
}

void DesktopDialogs::showAlert(const QString& message, const QString& informative)
{
    QMessageBox alert(QMessageBox::Information, message, message, QMessageBox::Ok, m_parent);
    alert.setInformativeText(informative);
    alert.exec();
}

int DesktopDialogs::askAlert(const QString& message, const QString& informative, const QStringList& buttons)
{
    QMessageBox alert(QMessageBox::Question, message, message, QMessageBox::NoButton, m_parent);
    alert.setInformativeText(informative);
    QList<QAbstractButton*> added;
    for (qsizetype i = 0; i < buttons.size(); ++i)
        added.append(alert.addButton(buttons[i], i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole));
    if (added.isEmpty())
        return -1;
    alert.setDefaultButton(static_cast<QPushButton*>(added.front()));
    // Escape answers with the last button ("Later"), never with the first.
    alert.setEscapeButton(added.back());
    alert.exec();
    return static_cast<int>(added.indexOf(alert.clickedButton()));
}

QStringList DesktopDialogs::containingFolders(const QStringList& files)
{
    QStringList folders;
    for (const QString& file : files) {
        const QString folder = QFileInfo(file).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    return folders;
}

void DesktopDialogs::revealOutputs(const QStringList& files)
{
    if (files.isEmpty())
        return;
    QStringList uris;
    for (const QString& file : files)
        uris.append(QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded));

    const auto openFolders = [files] {
        for (const QString& folder : containingFolders(files))
            QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolders();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    // Asynchronous: a file manager that is started for the call may take a while.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), nullptr);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [openFolders](QDBusPendingCallWatcher* w) {
        if (w->isError())
            openFolders();
        w->deleteLater();
    });
}

} // namespace inkveil
