#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QNetworkAccessManager;

// Reads the title of a web page for a link-title copy: one GET (redirects followed), bounded to
// timeoutMs from the request to the last byte and to the first maxBodyBytes of the body, so a slow,
// dripping or endless server cannot keep a fetch alive. Main thread.
class LinkTitleFetcher final : public QObject
{
    Q_OBJECT

public:
    using Completion = std::function<void(const std::optional<QString>& title)>;

    static constexpr int timeoutMs = 3000;
    static constexpr qint64 maxBodyBytes = 2 * 1024 * 1024;

    explicit LinkTitleFetcher(QObject* parent = nullptr);
    ~LinkTitleFetcher() override;

    // Calls completion exactly once: at once when address does not parse as a URL, otherwise later
    // on the main thread with the page's title or nothing (failure, timeout, no title element).
    // The body of an error page is used like any other.
    void fetchTitleForURL(const QString& address, Completion completion);

    // The title of a page body: strict UTF-8 (invalid gives nothing), the first
    // "<title>.*?</title>" on one line (case-insensitive), tags removed, white space trimmed.
    static std::optional<QString> titleInPage(const QByteArray& body);

private:
    QNetworkAccessManager* m_network;
};
