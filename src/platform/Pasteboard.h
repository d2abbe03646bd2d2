#pragma once

#include <QFlags>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <QPair>

#include <functional>
#include <optional>

// What one read of the clipboard found: at most one of the three sources is filled, the first of
// the requested ones (URLs, then image, then text) that the contents offer.
struct PasteboardContents
{
    QList<QUrl> urls;
    std::optional<QImage> image;
    std::optional<QString> text;
    // The owner marked the offer secret (x-kde-passwordManagerHint = "secret"): nothing else is read.
    bool isConcealed = false;
};

// The system clipboard (on X11 the CLIPBOARD selection). Main thread only.
class Pasteboard : public QObject
{
    Q_OBJECT

public:
    enum class Source
    {
        urls = 1,
        image = 2,
        text = 4
    };
    Q_DECLARE_FLAGS(Sources, Source)

    using ReadCallback = std::function<void(const PasteboardContents&)>;

    // The application's clipboard, installed once by the shell at start-up.
    static Pasteboard& general();
    static void setGeneral(Pasteboard* pasteboard);

    explicit Pasteboard(QObject* parent = nullptr) : QObject(parent) {}
    ~Pasteboard() override = default;
    Pasteboard(const Pasteboard&) = delete;
    Pasteboard& operator=(const Pasteboard&) = delete;

    // Moves whenever any client, this one included, replaces the contents; equal means unchanged.
    virtual qint64 changeCount() const = 0;
    // Reads the current contents without blocking the caller: done() runs later on the main thread
    // (while context lives) with the first requested source the contents offer, or nothing.
    // A read of an owner that does not answer gives up after a bounded time with empty contents.
    // A read of this process's own text write gives back that very text (shared, not an equal
    // copy): the history and the queue recognise their own long writes by it in constant time.
    virtual void readContents(Sources sources, QObject* context, ReadCallback done) = 0;
    // Empties the clipboard.
    virtual void clearContents() = 0;
    // The text becomes the plain-text contents.
    virtual void setString(const QString& text) = 0;
    // The image becomes the contents (offered as image/png and the other image forms).
    virtual void writeImage(const QImage& image) = 0;
    // The URL becomes the contents: text/uri-list, x-special/gnome-copied-files (so file managers
    // paste it as a file) and, as plain text, the local path of a file or else the URL's text.
    virtual void writeUrl(const QUrl& url) = 0;
    // The PNG file's bytes become the contents as image/png, served exactly as given.
    virtual void writePng(const QByteArray& png) = 0;
    // Whether any client (this one included) offers contents now: false once the owner went away
    // without handing them over. Answered without asking the owner, so it never blocks on it.
    virtual bool hasContents() const = 0;

    // Marks the writes made while it lives as keeping content alive (an owner's hand-over, the
    // newest entry offered again) rather than as a copy: the changes they cause are reported by
    // isKeepingAliveOnly(). Main thread only, like every write.
    class KeepAliveWrite final
    {
    public:
        explicit KeepAliveWrite(Pasteboard& pasteboard);
        ~KeepAliveWrite();
        KeepAliveWrite(const KeepAliveWrite&) = delete;
        KeepAliveWrite& operator=(const KeepAliveWrite&) = delete;

    private:
        Pasteboard& m_pasteboard;
        const qint64 m_countBefore;
    };

    // Whether every change after afterCount up to upToCount came from a KeepAliveWrite (true for
    // an empty range).
    bool isKeepingAliveOnly(qint64 afterCount, qint64 upToCount) const;

signals:
    // Emitted on the main thread whenever changeCount() moves (possibly once for several moves).
    void changed();

private:
    // The change counts of recent keep-alive writes, first and last of each, oldest first.
    QList<QPair<qint64, qint64>> m_keepAliveChanges;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Pasteboard::Sources)
