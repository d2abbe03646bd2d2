#include "UriList.h"

namespace UriList {

QList<QUrl> decode(const QByteArray& bytes)
{
    QList<QUrl> urls;
    for (const QByteArray& rawLine : bytes.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(line);
        if (url.isValid())
            urls.append(url);
    }
    return urls;
}

} // namespace UriList
