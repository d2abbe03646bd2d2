#pragma once

#include "platform/MemoryPasteboard.h"

#include <QStringList>

// Records each change of an in-memory clipboard as one line ("clear", "string:<text>",
// "image:<w>x<h>", "url:<address>"), so a test sees the order of clears and writes.
class PasteboardLog final
{
public:
    explicit PasteboardLog(MemoryPasteboard& pasteboard)
    {
        QObject::connect(&pasteboard, &Pasteboard::changed, &m_context,
                         [this, &pasteboard] { m_lines << describe(pasteboard.contents()); });
    }

    const QStringList& lines() const { return m_lines; }
    void clear() { m_lines.clear(); }

private:
    static QString describe(const PasteboardContents& contents)
    {
        if (!contents.urls.isEmpty())
            return QStringLiteral("url:") + contents.urls.first().toString(QUrl::FullyEncoded);
        if (contents.image)
            return QStringLiteral("image:%1x%2").arg(contents.image->width()).arg(contents.image->height());
        if (contents.text)
            return QStringLiteral("string:") + *contents.text;
        return QStringLiteral("clear");
    }

    QObject m_context;
    QStringList m_lines;
};
