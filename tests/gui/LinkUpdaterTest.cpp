// The link-list request against a real HTTP server on 127.0.0.1 that the test runs itself: what
// is sent, and how answers that close at once, never end, are far too long, come in chunks or
// lack their empty line are met. Every wait has a generous bound.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include "desktop/AppSettings.h"
#include "desktop/LinkList.h"
#include "gui/GuiApplication.h"
#include "gui/LinkUpdater.h"

namespace svt {
namespace {

using test::application;

// Answers every request with `answer` (nothing when empty) once the request is complete, and
// keeps what it was sent.
class TestServer final : public QObject {
  public:
    enum class Mode { Answer, CloseAtOnce, Silent };
    TestServer(Mode mode, QByteArray answer) : mode_(mode), answer_(std::move(answer)) {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                if (mode_ == Mode::CloseAtOnce) {
                    socket->close();
                    socket->deleteLater();
                    continue;
                }
                QObject::connect(socket, &QTcpSocket::readyRead, this,
                                 [this, socket] { receive(socket); });
            }
        });
    }
    QString url(const char* path = "/request/sorvanto_updatelinklist.php") const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }
    QByteArray request;

  private:
    void receive(QTcpSocket* socket) {
        request += socket->readAll();
        const qsizetype end = request.indexOf("\r\n\r\n");
        if (end < 0) return;
        qsizetype length = 0;
        for (const QByteArray& line : request.left(end).split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        if (request.size() < end + 4 + length || mode_ == Mode::Silent) return;
        socket->write(answer_);
        socket->flush();
        socket->disconnectFromHost();
    }
    QTcpServer server_;
    Mode mode_;
    QByteArray answer_;
};

struct Result {
    bool finished = false, ok = false;
    QByteArray body;
    QString error;
};

Result fetch(const QString& url, const QByteArray& body, int timeoutMs = 30000) {
    gui::LinkUpdater updater;
    updater.setTimeoutMs(timeoutMs);
    QSignalSpy spy(&updater, &gui::LinkUpdater::finished);
    updater.start(url, body);
    Result r;
    r.finished = spy.count() > 0 || spy.wait(60000);
    if (r.finished) {
        r.ok = spy.front().at(0).toBool();
        r.body = spy.front().at(1).toByteArray();
        r.error = spy.front().at(2).toString();
    }
    return r;
}

QByteArray plainAnswer(const QByteArray& body, const QByteArray& status = "200 OK") {
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

TEST(LinkUpdater, SendsOnePostWithTheFormBody) {
    application();
    const AppSettings s;
    const QByteArray reply = "OK\n2\n" + QByteArray::fromStdString(s.linkMp3Encoder) + "\n";
    TestServer server(TestServer::Mode::Answer, plainAnswer(reply));
    const std::string body = linkUpdateBody("1 & 2", Language::German);
    const Result r = fetch(server.url(), QByteArray::fromStdString(body));
    ASSERT_TRUE(r.finished);
    EXPECT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.body, reply);

    const QByteArray head = server.request.left(server.request.indexOf("\r\n\r\n"));
    EXPECT_TRUE(head.startsWith("POST /request/sorvanto_updatelinklist.php HTTP/1.1\r\n"))
        << head.toStdString();
    EXPECT_TRUE(head.toLower().contains("\r\ncontent-type: application/x-www-form-urlencoded"));
    EXPECT_TRUE(server.request.endsWith("\r\n\r\nversion=1%20%26%202&lang=DE"))
        << server.request.toStdString();
}

TEST(LinkUpdater, AnswersThatGoWrong) {
    application();
    QByteArray chunked =
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
        "3\r\nOK\n\r\n2\r\n7\n\r\n0\r\n\r\n";
    QByteArray huge = plainAnswer(QByteArray(1 << 20, 'x'));
    struct Case {
        const char* what;
        TestServer::Mode mode;
        QByteArray answer;
        int timeoutMs;
        bool ok;
        QByteArray body;
    };
    const Case cases[] = {
        {"closes at once", TestServer::Mode::CloseAtOnce, {}, 30000, false, {}},
        {"never answers", TestServer::Mode::Silent, {}, 1500, false, {}},
        {"chunked", TestServer::Mode::Answer, chunked, 30000, true, "OK\n7\n"},
        {"one mebibyte", TestServer::Mode::Answer, huge, 30000, true,
         QByteArray(static_cast<qsizetype>(kMaxLinkReplyBytes), 'x')},
        {"not found", TestServer::Mode::Answer, plainAnswer("", "404 Not Found"), 30000, false, {}},
    };
    for (const Case& c : cases) {
        TestServer server(c.mode, c.answer);
        const Result r = fetch(server.url(), "version=1&lang=EN", c.timeoutMs);
        ASSERT_TRUE(r.finished) << c.what;
        EXPECT_EQ(r.ok, c.ok) << c.what << ": " << r.error.toStdString();
        EXPECT_EQ(r.body, c.body) << c.what;
        EXPECT_EQ(r.error.isEmpty(), c.ok) << c.what;
    }

    // Headers without the empty line: no body reaches the walk, so no link changes.
    TestServer broken(TestServer::Mode::Answer, "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n");
    const Result r = fetch(broken.url(), "version=1&lang=EN", 3000);
    ASSERT_TRUE(r.finished);
    EXPECT_TRUE(!r.ok || r.body.isEmpty());
    AppSettings s;
    EXPECT_FALSE(applyLinkReply(r.body.toStdString(), s, Language::English).changed);

    const Result refused = fetch(QStringLiteral("file:///etc/passwd"), "x");
    ASSERT_TRUE(refused.finished);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.indexOf(QStringLiteral("http")), -1);
}

}  // namespace
}  // namespace svt
