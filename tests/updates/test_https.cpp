#include "tests/updates/test_https.h"

#include "tests/support/test_env.h"

#include <QNetworkProxy>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTemporaryDir>

#include <stdexcept>

namespace inkveil::test {
namespace {

// Runs openssl with space-separated arguments; "@name" is a file in `dir`.
void openssl(const QTemporaryDir& dir, const char* args)
{
    QStringList list = QString::fromUtf8(args).split(u' ');
    for (QString& arg : list) {
        if (arg.startsWith(u'@'))
            arg = dir.filePath(arg.mid(1));
    }
    const ProcessResult result = runProgram(QStringLiteral("openssl"), list);
    if (result.exitCode != 0)
        throw std::runtime_error("openssl failed: " + result.err.toStdString());
}

TestTls makeTls()
{
    static QTemporaryDir dir;
    openssl(dir, "req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                 " -keyout @ca.key -out @ca.pem -subj /CN=InkveilTestAuthority"
                 " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign");
    openssl(dir, "req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                 " -keyout @server.key -out @server.pem -subj /CN=127.0.0.1 -CA @ca.pem -CAkey @ca.key"
                 " -addext subjectAltName=IP:127.0.0.1 -addext extendedKeyUsage=serverAuth"
                 " -addext basicConstraints=CA:FALSE");
    TestTls tls;
    tls.authorityFile = dir.filePath(QStringLiteral("ca.pem"));
    tls.authority = QSslCertificate(readAll(tls.authorityFile));
    tls.serverCertificate = QSslCertificate(readAll(dir.filePath(QStringLiteral("server.pem"))));
    tls.serverKey = QSslKey(readAll(dir.filePath(QStringLiteral("server.key"))), QSsl::Ec);
    if (tls.authority.isNull() || tls.serverCertificate.isNull() || tls.serverKey.isNull())
        throw std::runtime_error("test certificates did not load");
    return tls;
}

} // namespace

const TestTls& testTls()
{
    static const TestTls tls = makeTls();
    return tls;
}

TrustingNetwork::TrustingNetwork(QList<QSslCertificate> authorities) : m_authorities(std::move(authorities))
{
    setProxy(QNetworkProxy::NoProxy);
}

QNetworkReply* TrustingNetwork::createRequest(Operation op, const QNetworkRequest& request, QIODevice* data)
{
    QNetworkRequest trusting(request);
    QSslConfiguration tls = trusting.sslConfiguration();
    tls.setCaCertificates(m_authorities);
    trusting.setSslConfiguration(tls);
    return QNetworkAccessManager::createRequest(op, trusting, data);
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
