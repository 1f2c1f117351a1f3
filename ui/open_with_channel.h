#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

// A second launch of the program hands its files to the running one over a
// local socket and exits; the running one raises its window and opens them.
namespace inkveil::OpenWith {

// The socket of this user's running instance: in the user's runtime folder
// when there is one.
QString serverName();

// The files named on a command line: absolute paths, file URLs made local;
// options (arguments before "--" that start with "-") are left out.
QStringList filesFromArguments(const QStringList& arguments, const QString& workingDirectory);

// Hands files (maybe none) to the instance listening at name. True when it
// confirmed them; false when none runs or it did not answer in time.
bool forward(const QString& name, const QStringList& files, int timeoutMs = 5000);

// Listens for later launches.
class Server : public QObject {
    Q_OBJECT

public:
    explicit Server(QObject* parent = nullptr);

    // Takes over a socket left behind by an instance that is gone.
    bool listen(const QString& name);
    QString fullName() const;

Q_SIGNALS:
    // A later launch asked to open these files (maybe none: just show the window).
    void filesOpened(const QStringList& files);

private:
    void receive();

    QLocalServer* m_server = nullptr;
};

} // namespace inkveil::OpenWith
