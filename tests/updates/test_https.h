#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTcpServer>
#include <QUrl>

namespace inkveil::test {

// A certificate authority and a server certificate for 127.0.0.1 signed by it,
// made once per process with openssl. Nothing outside the tests trusts them.
struct TestTls {
    QString authorityFile;
    QSslCertificate authority;
    QSslCertificate serverCertificate;
    QSslKey serverKey;
};
const TestTls& testTls();

// A network manager that trusts only the given authorities and uses no proxy.
class TrustingNetwork : public QNetworkAccessManager {
public:
    explicit TrustingNetwork(QList<QSslCertificate> authorities);

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request, QIODevice* data) override;

private:
    QList<QSslCertificate> m_authorities;
};

// What the server answers for one path.
struct Answer {
    enum class Mode {
        whole,       // status, headers and body, then close
        unbounded,   // no Content-Length: the body ends when the connection closes
        stall,       // headers and the first half of the body, then silence
        silent,      // nothing at all
    };
    int status = 200;
    QByteArray body;
    Mode mode = Mode::whole;
};

// HTTPS on 127.0.0.1 with the test certificate, one request per connection.
class HttpsServer : public QTcpServer {
public:
    HttpsServer() { listen(QHostAddress::LocalHost); }
    void answer(const QByteArray& path, Answer answer) { m_answers.insert(path, std::move(answer)); }
    QUrl url(const QByteArray& path) const;
    int requests() const { return m_requests; }

protected:
    void incomingConnection(qintptr socket) override;

private:
    QHash<QByteArray, Answer> m_answers;
    int m_requests = 0;
};

} // namespace inkveil::test
