#pragma once

#include "tests/updates/test_tls.h"

#include <QByteArray>
#include <QHash>
#include <QTcpServer>
#include <QUrl>

namespace inkveil::test {

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
    HttpsServer();
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
