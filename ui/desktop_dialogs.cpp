#include "ui/desktop_dialogs.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QUuid>

namespace inkveil {

namespace {

// Patterns, not a MIME type: portals and GTK match them as written, so both cases.
const QStringList kPdfFilters{QStringLiteral("PDF documents (*.pdf *.PDF)"), QStringLiteral("All files (*)")};

} // namespace

// The desktop's own chooser where the platform theme offers one (portal or
// GTK); Qt's otherwise. Folders are added through chooseOutputFolder.
QStringList DesktopDialogs::chooseInputs(const QString& title, const QString& prompt)
{
    QFileDialog dialog(m_parent, title);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(kPdfFilters);
    dialog.setLabelText(QFileDialog::Accept, prompt);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

std::optional<QString> DesktopDialogs::chooseOutputFolder(const QString& title, const QString& prompt,
                                                          const std::optional<QString>& startFolder)
{
    QFileDialog dialog(m_parent, title);
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
