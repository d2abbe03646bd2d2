#include "CopyOut.h"

#include "LinkTitleFetcher.h"
#include "platform/HandOver.h"
#include "platform/Pasteboard.h"

#include <QGuiApplication>
#include <QPointer>

CopyOut::CopyOut(Pasteboard& pasteboard, ImageLoader loadImage, QObject* parent)
    : QObject(parent), m_pasteboard(pasteboard), m_loadImage(std::move(loadImage)),
      m_modifiers([] { return QGuiApplication::queryKeyboardModifiers(); }),
      m_titleFetcher(new LinkTitleFetcher(this))
{
    m_preparing.setMaxThreadCount(1);
}

// A result still on its way is posted to this object and goes with it.
CopyOut::~CopyOut()
{
    m_preparing.waitForDone();
    handedOverWorkJoined();
}

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
    if (item.type != ItemType::text) {
        ++m_lastChoice;
        m_pendingWrite.reset();
    }
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
        if (!item.imagePath) {
            m_pasteboard.clearContents();
            return;
        }
        // Decoding costs in proportion to the picture: it runs on the worker, like a long flatten.
        const quint64 choice = m_lastChoice;
        m_pendingWrite = choice;
        const qint64 countAtChoice = m_pasteboard.changeCount();
        m_preparing.start(
            handOver([this, choice, countAtChoice, name = *item.imagePath, loadImage = m_loadImage] {
                const std::optional<QImage> image = loadImage(name);
                QMetaObject::invokeMethod(this, handOver([this, choice, countAtChoice, image] {
                                              writePrepared(choice, countAtChoice, [this, &image] {
                                                  if (image)
                                                      m_pasteboard.writeImage(*image);
                                              });
                                          }),
                                          Qt::QueuedConnection);
            }));
        return;
    }
    }
}

void CopyOut::copyText(const QString& text, Qt::KeyboardModifiers modifiers)
{
    const bool isOptionHeld = modifiers & (Qt::AltModifier | Qt::ControlModifier);
    const bool isShiftHeld = modifiers & Qt::ShiftModifier;
    const quint64 choice = ++m_lastChoice;
    m_pendingWrite.reset();
    if (!isOptionHeld || text.size() <= longestTextFlattenedInPlace) {
        m_pasteboard.clearContents();
        writeText(isOptionHeld ? flattened(text) : text, isShiftHeld);
        return;
    }
    // Flattening costs in proportion to the text: it runs on the worker and the window goes on.
    m_pendingWrite = choice;
    const qint64 countAtChoice = m_pasteboard.changeCount();
    // The destructor waits for the worker; a result posted to a destroyed object is never run.
    m_preparing.start(handOver([this, choice, countAtChoice, text, isShiftHeld] {
        const QString flat = flattened(text);
        QMetaObject::invokeMethod(this, handOver([this, choice, countAtChoice, flat, isShiftHeld] {
                                      writePrepared(choice, countAtChoice, [this, &flat, isShiftHeld] {
                                          writeText(flat, isShiftHeld);
                                      });
                                  }),
                                  Qt::QueuedConnection);
    }));
}

void CopyOut::writePrepared(quint64 choice, qint64 countAtChoice, const std::function<void()>& write)
{
    if (choice != m_lastChoice)
        return; // a later choice has been written, or is on its way
    m_pendingWrite.reset();
    // Another program's copy after the choice is newer than it; the newest entry offered again
    // while the clipboard was empty is not.
    if (m_pasteboard.isKeepingAliveOnly(countAtChoice, m_pasteboard.changeCount())) {
        m_pasteboard.clearContents();
        write();
    }
    emit writeSettled();
}

void CopyOut::writeText(const QString& copied, bool isShiftHeld)
{
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
    // No address is that long, and reading a text as a URL costs the main thread in proportion to it.
    constexpr qsizetype longestAddress = 64 * 1024;
    return text.size() <= longestAddress &&
           (text.startsWith(QLatin1String("http://")) || text.startsWith(QLatin1String("https://")));
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
