#include "ui/inkveil_delegate.h"

#include "app/app_model.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace inkveil {

namespace {

// Absolute, with "." and ".." resolved.
QString standardized(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

InkveilDelegate::InkveilDelegate(QObject* parent) : QObject(parent) {}

void InkveilDelegate::openURLs(const QList<QUrl>& urls)
{
    QStringList paths;
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    accept(paths);
}

void InkveilDelegate::openFiles(const QStringList& paths)
{
    accept(paths);
}

bool InkveilDelegate::openFile(const QString& path)
{
    accept({path});
    return true;
}

void InkveilDelegate::accept(const QStringList& locations)
{
    QStringList kept;
    for (const QString& location : locations) {
        const QString path = standardized(location);
        if (m_recentlyAccepted.contains(path))
            continue;
        m_recentlyAccepted.insert(path);
        kept.append(path);
    }
    if (kept.isEmpty())
        return;
    m_pending.append(kept);
    flush();
    QTimer::singleShot(kRepeatWindow, this, [this, kept] {
        for (const QString& path : kept)
            m_recentlyAccepted.remove(path);
    });
}

void InkveilDelegate::flush()
{
    if (!m_model || m_pending.isEmpty())
        return;
    const QStringList taken = std::exchange(m_pending, {});
    m_model->add(taken);
}

void InkveilDelegate::setModel(AppModel* model)
{
    m_model = model;
    flush();
}

bool InkveilDelegate::shouldTerminate(QWidget* parent)
{
    if (!m_model)
        return true;
    if (!m_model->isRedacting())
        return m_model->confirmQuit();
    QMessageBox alert(QMessageBox::Warning, kQuitTitle, kQuitTitle, QMessageBox::NoButton, parent);
    alert.setInformativeText(kQuitText);
    QPushButton* keepGoing = alert.addButton(kContinueButton, QMessageBox::RejectRole);
    QPushButton* stop = alert.addButton(kStopButton, QMessageBox::DestructiveRole);
    alert.setDefaultButton(keepGoing);
    alert.setEscapeButton(keepGoing);
    alert.exec();
    if (alert.clickedButton() != stop)
        return false;
    // The run removes what it wrote before the process ends.
    if (m_model)
        m_model->cancelRedactionAndWait();
    return true;
}

} // namespace inkveil
