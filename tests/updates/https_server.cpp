#include "tests/updates/https_server.h"

#include <QSslSocket>

namespace inkveil::test {

HttpsServer::HttpsServer()
{
    listen(QHostAddress::LocalHost);
}

QUrl HttpsServer::url(const QByteArray& path) const
{
    return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(serverPort()).arg(QString::fromUtf8(path)));
}

void HttpsServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    const TestTls& tls = testTls();
    socket->setLocalCertificate(tls.serverCertificate);
    socket->setPrivateKey(tls.serverKey);
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QSslSocket::readyRead, socket, [this, socket] {
        QByteArray received = socket->property("received").toByteArray() + socket->readAll();
        socket->setProperty("received", received);
        if (!received.contains("\r\n\r\n") || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        ++m_requests;
        const QByteArray path = received.split(' ').value(1);
        const Answer answer = m_answers.value(path, Answer{404, "not here"});
        if (answer.mode == Answer::Mode::silent)
            return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(answer.status) + " Test\r\nConnection: close\r\n";
        if (answer.mode != Answer::Mode::unbounded)
            head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
        socket->write(head + "\r\n");
        if (answer.mode == Answer::Mode::stall) {
            socket->write(answer.body.left(answer.body.size() / 2));
            return;
        }
        socket->write(answer.body);
        socket->disconnectFromHost();
    });
    socket->startServerEncryption();
}

} // namespace inkveil::test
