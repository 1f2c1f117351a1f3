#include "tests/updates/test_tls.h"

#include "tests/support/test_env.h"

#include <QFile>
#include <QNetworkProxy>
#include <QSslConfiguration>
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
    const char* ecKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    openssl(dir, (QByteArray("req -x509 ") + ecKey
                  + " -keyout @ca.key -out @ca.pem -days 2 -subj /CN=InkveilTestAuthority"
                    " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign")
                     .constData());
    openssl(dir, (QByteArray("req ") + ecKey + " -keyout @server.key -out @server.csr -subj /CN=127.0.0.1").constData());
    QFile extensions(dir.filePath(QStringLiteral("server.ext")));
    if (!extensions.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write server.ext");
    extensions.write("subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n");
    extensions.close();
    openssl(dir, "x509 -req -in @server.csr -CA @ca.pem -CAkey @ca.key -set_serial 2 -days 2"
                 " -extfile @server.ext -out @server.pem");

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

} // namespace inkveil::test
