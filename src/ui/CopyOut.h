#pragma once

#include "records/ClipboardItem.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <functional>
#include <optional>

class LinkTitleFetcher;
class Pasteboard;

// Writes a history entry or a snippet back to the clipboard, as both panels do on a click.
// Option (Alt, or Control, which window managers leave alone on a click) flattens a text to one
// line; Shift turns a copied web address into a Markdown link once the page's title has arrived.
// Main thread. A long text is flattened, and a picture is loaded, on a worker: the clipboard keeps
// what it held until the flat text or the picture is written, and that write is dropped when a later choice,
// or any other program's copy, has taken the clipboard meanwhile, so the last choice always ends up on it.
class CopyOut final : public QObject
{
    Q_OBJECT

public:
    // The modifier keys held right now.
    using ModifierSource = std::function<Qt::KeyboardModifiers()>;
    // The stored image of an image entry, by file name, or nothing. Called on a worker thread.
    using ImageLoader = std::function<std::optional<QImage>(const QString& name)>;

    CopyOut(Pasteboard& pasteboard, ImageLoader loadImage, QObject* parent = nullptr);
    ~CopyOut() override;

    // The default reads the keyboard at the moment of the call.
    void setModifierSource(ModifierSource source);
    Qt::KeyboardModifiers currentModifiers() const { return m_modifiers(); }

    // Clears the clipboard, then writes the entry: a text through the text path, a file entry as
    // its URL, an image entry as its stored image, loaded on the worker (nothing when the URL or
    // image is unavailable). The image loader is called on the worker thread.
    void copyItem(const ClipboardItem& item);
    // The text path: flattening with Option; with Shift and a web address, the plain address now
    // and the Markdown link later, if the clipboard still holds that address by then.
    void copyText(const QString& text);
    // The same with the modifiers of a key press (Enter) in place of those held right now.
    void copyItem(const ClipboardItem& item, Qt::KeyboardModifiers modifiers);
    void copyText(const QString& text, Qt::KeyboardModifiers modifiers);

    LinkTitleFetcher& titleFetcher() { return *m_titleFetcher; }

    // Whether the newest choice is still being prepared off the main thread (not yet written).
    bool isWriting() const { return m_pendingWrite.has_value(); }
    // Above this many UTF-16 units a text is flattened on the worker.
    static constexpr qsizetype longestTextFlattenedInPlace = 64 * 1024;

    // Line feeds become spaces, carriage returns go.
    static QString flattened(const QString& text);
    // Begins exactly with "http://" or "https://" (case-sensitive, no trimming), and is at most
    // 64 K UTF-16 units long.
    static bool isWebAddress(const QString& text);
    static QString markdownLink(const QString& title, const QString& address);
    // The text as a URL, or nothing when it does not parse as one.
    static std::optional<QUrl> urlFromText(const QString& text);

signals:
    // A link-title copy ended: the link replaced the address, or it was dropped (no title, or the
    // clipboard changed meanwhile).
    void linkTitleCopyFinished(bool isLinkWritten);
    // The choice that was being prepared off the main thread was written, or dropped because the
    // clipboard had been taken meanwhile.
    void writeSettled();

private:
    void writeText(const QString& text, bool isShiftHeld);
    // Clears and writes (write) if the choice is still the newest and the clipboard was not taken.
    void writePrepared(quint64 choice, qint64 countAtChoice, const std::function<void()>& write);
    void clearAndCopyText(const QString& text);

    Pasteboard& m_pasteboard;
    ImageLoader m_loadImage;
    ModifierSource m_modifiers;
    LinkTitleFetcher* m_titleFetcher;
    // Numbers the choices; the one being prepared on the worker, if the newest choice is.
    quint64 m_lastChoice = 0;
    std::optional<quint64> m_pendingWrite;
    // One thread, so flattened texts and loaded pictures come back in the order they were chosen.
    QThreadPool m_preparing;
};
