#pragma once
// One HTTP request with Qt Network (the link-list update's): a POST of a form body to an
// http or https address, at most a limit of the answer read, no redirect to a less safe
// scheme, and a time limit. The caller gets the body, or one sentence that says why there is
// none.

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <cstddef>

#include "base/Language.h"
#include "desktop/LinkList.h"

namespace svt::gui {

class LinkUpdater final : public QObject {
    Q_OBJECT
  public:
    explicit LinkUpdater(Language language = Language::English, QObject* parent = nullptr);

    // The whole request may take this long.
    void setTimeoutMs(int ms) { timeoutMs_ = ms; }
    // The answer is read up to this many bytes; the rest is never read.
    void setMaxBytes(size_t bytes) { maxBytes_ = static_cast<qint64>(bytes); }
    bool busy() const { return reply_ != nullptr; }
    // Sends `body` to `url`; finished() follows once, also for an address that is refused.
    void start(const QString& url, const QByteArray& body);

  Q_SIGNALS:
    // `ok`: `body` is the answer's body (cut at the limit); otherwise `error` says why not.
    void finished(bool ok, QByteArray body, QString error);

  private:
    void readSome();
    void done();

    QNetworkAccessManager network_;
    QPointer<QNetworkReply> reply_;
    QTimer timer_;
    QByteArray body_;
    bool cut_ = false;
    bool timedOut_ = false;
    int timeoutMs_ = 20000;
    qint64 maxBytes_ = static_cast<qint64>(kMaxLinkReplyBytes);
    const Language language_;
};

}  // namespace svt::gui
