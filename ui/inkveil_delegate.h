#pragma once

#include "app/app_model.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QUrl>

#include <chrono>

class QWidget;

namespace inkveil {

// Receives the documents the desktop asks the application to open and decides
// whether the application may quit. Opened documents wait in `pending` until
// the main window has shown and handed over the model; the same file asked for
// again within a second reaches the model once.
class InkveilDelegate : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kRepeatWindow{1000};
    static inline const QString kQuitTitle = QStringLiteral("Redaction is still in progress");
    static inline const QString kQuitText =
        QStringLiteral("Quitting now stops the operation. Originals remain unchanged and incomplete output is removed.");
    static inline const QString kContinueButton = QStringLiteral("Continue Redacting");
    static inline const QString kStopButton = QStringLiteral("Stop and Quit");

    explicit InkveilDelegate(QObject* parent = nullptr);

    // Open requests, as locations, as paths, or as one path (always true).
    void openURLs(const QList<QUrl>& urls);
    void openFiles(const QStringList& paths);
    bool openFile(const QString& path);

    // Held weakly; assigning hands over what is pending.
    void setModel(AppModel* model);
    AppModel* model() const { return m_model; }
    const QStringList& pending() const { return m_pending; }

    // Whether the application may quit now. During a run it asks first, over
    // parent; "Stop and Quit" stops the run and waits for its clean-up. With
    // marks not yet redacted the model asks.
    bool shouldTerminate(QWidget* parent);

private:
    void accept(const QStringList& locations);
    void flush();

    QPointer<AppModel> m_model;
    QStringList m_pending;
    QSet<QString> m_recentlyAccepted;
};

} // namespace inkveil
