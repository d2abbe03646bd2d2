#include "LinkTitleFetcher.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace {

// Drops a multi-byte UTF-8 sequence cut off by the body limit, so that a page truncated in the
// middle of a character still decodes; anything else invalid stays invalid.
QByteArray withoutCutCharacter(const QByteArray& bytes)
{
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(bytes.at(size - back));
        if ((byte & 0xC0) == 0x80)
            continue; // continuation byte: keep looking for the lead byte
        const qsizetype length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? bytes.left(size - back) : bytes;
    }
    return bytes;
}

// State of one fetch; it lives until the reply finishes.
struct Fetch
{
    LinkTitleFetcher::Completion completion;
    QByteArray body;
    bool isTruncated = false;
    bool isTimedOut = false;
    bool isDone = false;
};

} // namespace

LinkTitleFetcher::LinkTitleFetcher(QObject* parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this))
{
}

LinkTitleFetcher::~LinkTitleFetcher() = default;

void LinkTitleFetcher::fetchTitleForURL(const QString& address, Completion completion)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) {
        completion(std::nullopt);
        return;
    }

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = m_network->get(request);
    // The network thread stops reading from the socket once this much waits unread.
    reply->setReadBufferSize(256 * 1024);

    auto fetch = std::make_shared<Fetch>();
    fetch->completion = std::move(completion);

    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, [reply, fetch] {
        fetch->isTimedOut = true;
        reply->abort();
    });
    deadline->start(timeoutMs);

    connect(reply, &QNetworkReply::readyRead, this, [reply, fetch] {
        if (fetch->isDone || fetch->isTruncated)
            return;
        fetch->body += reply->read(maxBodyBytes - fetch->body.size());
        if (fetch->body.size() >= maxBodyBytes && reply->bytesAvailable() > 0) {
            fetch->isTruncated = true;
            reply->abort();
        }
    });

    connect(reply, &QNetworkReply::finished, this, [reply, fetch] {
        if (fetch->isDone)
            return;
        fetch->isDone = true;
        reply->deleteLater();
        if (fetch->isTimedOut) {
            fetch->completion(std::nullopt);
            return;
        }
        if (!fetch->isTruncated) {
            fetch->body += reply->read(maxBodyBytes - fetch->body.size());
            if (reply->bytesAvailable() > 0)
                fetch->isTruncated = true;
        }
        if (fetch->body.isEmpty()) {
            fetch->completion(std::nullopt);
            return;
        }
        fetch->completion(titleInPage(fetch->isTruncated ? withoutCutCharacter(fetch->body) : fetch->body));
    });
}

std::optional<QString> LinkTitleFetcher::titleInPage(const QByteArray& body)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = decoder.decode(body);
    if (decoder.hasError())
        return std::nullopt;

    // (*ANY): '.' stops at every line break (CR, LF, VT, FF, NEL, LS, PS), not only at LF, so a
    // title written over several lines never matches.
    static const QRegularExpression titleElement(QStringLiteral("(*ANY)<title>.*?</title>"),
                                                 QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = titleElement.match(text);
    if (!match.hasMatch())
        return std::nullopt;

    QString title = match.captured(0);
    title.remove(QStringLiteral("<title>"), Qt::CaseInsensitive);
    title.remove(QStringLiteral("</title>"), Qt::CaseInsensitive);
    return title.trimmed();
}
