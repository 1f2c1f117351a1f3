#pragma once

#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

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

} // namespace inkveil::test
