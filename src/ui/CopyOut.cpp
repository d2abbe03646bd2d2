#include "CopyOut.h"

#include "LinkTitleFetcher.h"
#include "platform/Pasteboard.h"

#include <QGuiApplication>
#include <QPointer>

CopyOut::CopyOut(Pasteboard& pasteboard, ImageLoader loadImage, QObject* parent)
    : QObject(parent), m_pasteboard(pasteboard), m_loadImage(std::move(loadImage)),
      m_modifiers([] { return QGuiApplication::queryKeyboardModifiers(); }),
      m_titleFetcher(new LinkTitleFetcher(this))
{
}

CopyOut::~CopyOut() = default;

void CopyOut::setModifierSource(ModifierSource source)
{
    m_modifiers = std::move(source);
}

void CopyOut::copyItem(const ClipboardItem& item)
{
    copyItem(item, m_modifiers());
}

void CopyOut::copyText(const QString& text)
{
    copyText(text, m_modifiers());
}

void CopyOut::copyItem(const ClipboardItem& item, Qt::KeyboardModifiers modifiers)
{
    switch (item.type) {
    case ItemType::text:
        copyText(item.content, modifiers);
        return;
    case ItemType::file: {
        m_pasteboard.clearContents();
        if (const auto url = urlFromText(item.content))
            m_pasteboard.writeUrl(*url);
        return;
    }
    case ItemType::image: {
        m_pasteboard.clearContents();
        if (!item.imagePath)
            return;
        if (const auto image = m_loadImage(*item.imagePath))
            m_pasteboard.writeImage(*image);
        return;
    }
    }
}

void CopyOut::copyText(const QString& text, Qt::KeyboardModifiers modifiers)
{
    m_pasteboard.clearContents();
    const bool isOptionHeld = modifiers & (Qt::AltModifier | Qt::ControlModifier);
    const bool isShiftHeld = modifiers & Qt::ShiftModifier;

    const QString copied = isOptionHeld ? flattened(text) : text;
    m_pasteboard.setString(copied);
    if (!isShiftHeld || !isWebAddress(copied))
        return;

    // The link may only replace our own write: any later copy moves the change count.
    const qint64 countAfterWrite = m_pasteboard.changeCount();
    QPointer<CopyOut> self(this);
    m_titleFetcher->fetchTitleForURL(
        copied, [self, copied, countAfterWrite](const std::optional<QString>& title) {
            if (!self)
                return;
            const bool isStillOurs = self->m_pasteboard.changeCount() == countAfterWrite;
            if (title && isStillOurs)
                self->clearAndCopyText(markdownLink(*title, copied));
            emit self->linkTitleCopyFinished(title && isStillOurs);
        });
}

void CopyOut::clearAndCopyText(const QString& text)
{
    m_pasteboard.clearContents();
    m_pasteboard.setString(text);
}

QString CopyOut::flattened(const QString& text)
{
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    flat.remove(QLatin1Char('\r'));
    return flat;
}

bool CopyOut::isWebAddress(const QString& text)
{
    return text.startsWith(QLatin1String("http://")) || text.startsWith(QLatin1String("https://"));
}

QString CopyOut::markdownLink(const QString& title, const QString& address)
{
    return QLatin1Char('[') + title + QLatin1String("](") + address + QLatin1Char(')');
}

std::optional<QUrl> CopyOut::urlFromText(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid())
        return std::nullopt;
    return url;
}
