#include "gui/LinkUpdater.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include "gui/Texts.h"

namespace svt::gui {

LinkUpdater::LinkUpdater(Language language, QObject* parent)
    : QObject(parent), language_(language) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (!reply_) return;
        timedOut_ = true;
        reply_->abort();
    });
}

void LinkUpdater::start(const QString& address, const QByteArray& body) {
    if (reply_) return;
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        const QString why = tx(UiText::NotAWebAddress, language_).arg(address);
        QTimer::singleShot(0, this, [this, why] { Q_EMIT finished(false, {}, why); });
        return;
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Connection", "close");
    // Redirects are followed only to an address as safe as the first (never https -> http).
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(3);
    body_.clear();
    cut_ = timedOut_ = false;
    reply_ = network_.post(request, body);
    reply_->setReadBufferSize(maxBytes_ + 1);
    connect(reply_, &QNetworkReply::readyRead, this, &LinkUpdater::readSome);
    connect(reply_, &QNetworkReply::finished, this, &LinkUpdater::done);
    timer_.start(timeoutMs_);
}

void LinkUpdater::readSome() {
    if (!reply_ || cut_) return;
    const qint64 room = maxBytes_ - body_.size();
    if (room > 0) body_ += reply_->read(room);
    // What lies beyond the limit is never read: the transfer ends here.
    if (body_.size() >= maxBytes_ && reply_->bytesAvailable() > 0) {
        cut_ = true;
        reply_->abort();
    }
}

void LinkUpdater::done() {
    QNetworkReply* reply = reply_;
    if (!reply) return;
    timer_.stop();
    if (!cut_ && reply->isOpen()) readSome();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    bool ok = cut_ || reply->error() == QNetworkReply::NoError;
    QString error;
    if (timedOut_) {
        ok = false;
        error = tx(UiText::ServerTimedOut, language_);
    } else if (!ok) {
        error = reply->errorString();
    } else if (status < 200 || status > 299) {
        ok = false;
        error = tx(UiText::ServerAnswered, language_)
                    .arg(status)
                    .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    }
    reply_ = nullptr;
    reply->deleteLater();
    Q_EMIT finished(ok, ok ? body_ : QByteArray(), error);
}

}  // namespace svt::gui
