#include "ui/open_with_channel.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUrl>

#include <unistd.h>

namespace inkveil::OpenWith {

namespace {

constexpr quint32 kMagic = 0x494b5631; // "IKV1"
constexpr char kAck = '\x06';
// More than any command line could hold: anything larger is not ours.
constexpr qsizetype kMaxMessageBytes = 16 << 20;

} // namespace

QString serverName()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir(runtime).filePath(QStringLiteral("inkveil-open"));
    return QStringLiteral("inkveil-open-%1").arg(::getuid());
}

QStringList filesFromArguments(const QStringList& arguments, const QString& workingDirectory)
{
    QStringList files;
    bool optionsEnded = false;
    const QDir base(workingDirectory);
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument == QStringLiteral("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.startsWith(u'-'))
            continue;
        if (argument.isEmpty())
            continue;
        QString path = argument;
        if (argument.startsWith(QStringLiteral("file:"))) {
            const QUrl url(argument);
            if (!url.isLocalFile())
                continue;
            path = url.toLocalFile();
        }
        files.append(QDir::cleanPath(base.absoluteFilePath(path)));
    }
    return files;
}

bool forward(const QString& name, const QStringList& files, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray message;
    {
        QDataStream out(&message, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << kMagic << files;
    }
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == kAck;
}

Server::Server(QObject* parent) : QObject(parent), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &Server::receive);
}

bool Server::listen(const QString& name)
{
    if (m_server->listen(name))
        return true;
    if (m_server->serverError() != QAbstractSocket::AddressInUseError)
        return false;
    // Nobody answered on it (we were asked to start), so it is left over.
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

QString Server::fullName() const
{
    return m_server->fullServerName();
}

void Server::receive()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > kMaxMessageBytes) {
                socket->abort();
                return;
            }
            QDataStream in(socket);
            in.setVersion(QDataStream::Qt_6_0);
            in.startTransaction();
            quint32 magic = 0;
            QStringList files;
            in >> magic >> files;
            if (!in.commitTransaction())
                return; // the rest has not arrived yet
            if (magic != kMagic) {
                socket->abort();
                return;
            }
            socket->putChar(kAck);
            socket->flush();
            socket->disconnectFromServer();
            Q_EMIT filesOpened(files);
        });
    }
}

} // namespace inkveil::OpenWith
