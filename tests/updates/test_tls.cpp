#include "tests/updates/test_tls.h"

#include "tests/support/test_env.h"

#include <QFile>
#include <QNetworkProxy>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <stdexcept>

namespace inkveil::test {
namespace {

void openssl(const QStringList& args)
{
    const ProcessResult result = runProgram(QStringLiteral("openssl"), args);
    if (result.exitCode != 0)
        throw std::runtime_error("openssl failed: " + result.err.toStdString());
}

TestTls makeTls()
{
    static QTemporaryDir dir;
    const auto at = [](const char* name) { return dir.filePath(QString::fromUtf8(name)); };
    const QStringList ecKey = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                               QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey
            + QStringList{QStringLiteral("-keyout"), at("ca.key"), QStringLiteral("-out"), at("ca.pem"),
                          QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                          QStringLiteral("/CN=Inkveil Test Authority"), QStringLiteral("-addext"),
                          QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                          QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")});
    openssl(QStringList{QStringLiteral("req")} + ecKey
            + QStringList{QStringLiteral("-keyout"), at("server.key"), QStringLiteral("-out"), at("server.csr"),
                          QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")});
    QFile extensions(at("server.ext"));
    if (!extensions.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write server.ext");
    extensions.write("subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n");
    extensions.close();
    openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), at("server.csr"),
             QStringLiteral("-CA"), at("ca.pem"), QStringLiteral("-CAkey"), at("ca.key"), QStringLiteral("-set_serial"),
             QStringLiteral("2"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"),
             at("server.ext"), QStringLiteral("-out"), at("server.pem")});

    TestTls tls;
    tls.authorityFile = at("ca.pem");
    tls.authority = QSslCertificate(readAll(at("ca.pem")));
    tls.serverCertificate = QSslCertificate(readAll(at("server.pem")));
    tls.serverKey = QSslKey(readAll(at("server.key")), QSsl::Ec);
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
    lastRequest = request;
    QNetworkRequest trusting(request);
    QSslConfiguration tls = trusting.sslConfiguration();
    tls.setCaCertificates(m_authorities);
    trusting.setSslConfiguration(tls);
    return QNetworkAccessManager::createRequest(op, trusting, data);
}

} // namespace inkveil::test
