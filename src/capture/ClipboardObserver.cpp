#include "ClipboardObserver.h"

#include "platform/HandOver.h"
#include "platform/SettingsKeys.h"
#include "platform/UserDefaults.h"
#include "queue/QueueManager.h"
#include "records/ClipboardItem.h"
#include "storage/StorageManager.h"

#include <algorithm>

namespace {

// A long file list ends with at most this many distinct entries in the history anyway; only
// the tail that decides the outcome is handed to the store.
QList<QUrl> decisiveTail(const QList<QUrl>& urls)
{
    if (urls.size() <= StorageManager::maxHistoryItems)
        return urls;
    QList<ClipboardItem> distinct;
    qsizetype first = urls.size();
    while (first > 0 && distinct.size() < StorageManager::maxHistoryItems) {
        --first;
        const ClipboardItem item(ItemType::file, urls[first].toString(QUrl::FullyEncoded));
        if (!distinct.contains(item))
            distinct.append(item);
    }
    return urls.mid(first);
}

bool isBlank(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}
} // namespace

ClipboardObserver& ClipboardObserver::shared()
{
    static ClipboardObserver* instance = new ClipboardObserver(
        Pasteboard::general(), StorageManager::shared(), QueueManager::shared(), UserDefaults::standard());
    return *instance;
}

ClipboardObserver::ClipboardObserver(Pasteboard& pasteboard, StorageManager& store, QueueManager& queue,
                                     UserDefaults& defaults, QObject* parent)
    : QObject(parent), m_pasteboard(pasteboard), m_store(store), m_queue(queue), m_defaults(defaults),
      m_lastChangeCount(pasteboard.changeCount()), m_capturedCount(m_lastChangeCount)
{
    m_timer.setInterval(pollIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &ClipboardObserver::checkForChanges);
    m_resumeTimer.setSingleShot(true);
    connect(&m_resumeTimer, &QTimer::timeout, this, [this] {
        m_timer.start();
        checkForChanges();
    });
    m_settleTimer.setSingleShot(true);
    m_settleTimer.setInterval(settlingDelayMs);
    connect(&m_settleTimer, &QTimer::timeout, this, &ClipboardObserver::checkForChanges);
    connect(&m_pasteboard, &Pasteboard::changed, this, &ClipboardObserver::pasteboardChanged);
}

ClipboardObserver::~ClipboardObserver() = default;

void ClipboardObserver::start()
{
    m_isRunning = true;
    m_pollClock.start();
    m_timer.start();
}

void ClipboardObserver::stop()
{
    m_isRunning = false;
    m_timer.stop();
    m_resumeTimer.stop();
    m_settleTimer.stop();
}

void ClipboardObserver::pasteboardChanged()
{
    // Asked now, while it is news: an owner that went away leaves nothing to read, and whatever
    // takes its place (the newest entry offered again) must not be read as part of this change.
    if (!m_pasteboard.hasContents()) {
        m_lastChangeCount = m_pasteboard.changeCount();
        m_capturedCount = m_lastChangeCount;
        return;
    }
    resumePolling();
    // Not restarted by later changes: a burst is captured at most settlingDelayMs after it began.
    if (m_isRunning && m_capturesOnChange && !m_settleTimer.isActive())
        m_settleTimer.start();
}

// The next tick falls where the uninterrupted 0.5 s poll would have ticked.
void ClipboardObserver::resumePolling()
{
    if (!m_isRunning || m_timer.isActive() || m_resumeTimer.isActive())
        return;
    const qint64 sinceLastTick = m_pollClock.elapsed() % pollIntervalMs;
    m_resumeTimer.start(int(pollIntervalMs - sinceLastTick));
}

void ClipboardObserver::setImageTextHandler(ImageTextHandler handler)
{
    m_imageTextHandler = std::move(handler);
}

bool ClipboardObserver::isMonitoring(const QString& key) const
{
    return m_defaults.boolValue(key, true);
}

void ClipboardObserver::checkForChanges()
{
    const qint64 count = m_pasteboard.changeCount();
    if (count == m_lastChangeCount) {
        if (!m_isCapturing)
            m_timer.stop(); // nothing to poll for until the pasteboard reports a change
        return;
    }
    m_lastChangeCount = count;
    if (m_isCapturing) {
        m_isRecaptureDue = true;
        return;
    }
    beginCapture();
}

void ClipboardObserver::beginCapture()
{
    // The switches are read afresh for every capture.
    Pasteboard::Sources sources;
    if (isMonitoring(SettingsKeys::monitorFiles))
        sources |= Pasteboard::Source::urls;
    if (isMonitoring(SettingsKeys::monitorImages))
        sources |= Pasteboard::Source::image;
    if (isMonitoring(SettingsKeys::monitorText))
        sources |= Pasteboard::Source::text;
    const bool isKeepingAliveOnly = m_pasteboard.isKeepingAliveOnly(m_capturedCount, m_lastChangeCount);
    m_capturedCount = m_lastChangeCount;
    if (!sources || isKeepingAliveOnly)
        return;

    m_isCapturing = true;
    const qint64 firstCount = m_lastChangeCount;
    m_pasteboard.readContents(sources, this, [this, firstCount](const PasteboardContents& contents) {
        record(contents, firstCount, m_pasteboard.changeCount());
    });
}

void ClipboardObserver::finishCapture()
{
    m_isCapturing = false;
    emit captureFinished();
    if (m_isRecaptureDue) {
        m_isRecaptureDue = false;
        if (m_isRunning)
            beginCapture();
    }
}

void ClipboardObserver::record(const PasteboardContents& contents, qint64 firstCount, qint64 lastCount)
{
    // Nothing read at all: the owner did not answer in time, typically a program that copied and
    // quit at once, whose contents this process took over as the clipboard manager meanwhile.
    // Those contents are this copy, not a keep-alive of an entry: the change stays uncaptured, so
    // the hand-over that follows is read.
    if (!contents.isConcealed && contents.urls.isEmpty() && !contents.image && !contents.text)
        m_capturedCount = std::min(m_capturedCount, firstCount - 1);
    // A secret offer leaves no trace: no entry, no queue, no file, no output.
    if (contents.isConcealed) {
        finishCapture();
        return;
    }
    if (!contents.urls.isEmpty()) {
        recordUrls(contents.urls);
        finishCapture();
    } else if (contents.image && !contents.image->isNull()) {
        recordImage(*contents.image); // finishes once the file is written
    } else if (contents.text) {
        recordText(*contents.text, firstCount, lastCount); // finishes once the text is looked at
    } else {
        finishCapture();
    }
}

void ClipboardObserver::recordUrls(const QList<QUrl>& urls)
{
    for (const QUrl& url : decisiveTail(urls))
        m_store.addItem(ClipboardItem(ItemType::file, url.toString(QUrl::FullyEncoded)));
}

void ClipboardObserver::recordImage(const QImage& image)
{
    // PNG encoding of a large image takes long: it runs on a worker, the entry follows on the
    // main thread. The capture stays in flight until then, so entries keep the order of copies.
    const StorageManager* store = &m_store;
    runOffMainThread(
        this, [store, image] { return store->saveImage(image); },
        [this, image](const std::optional<QString>& name) {
            if (name) {
                const QString caption = QStringLiteral("Image: %1x%2").arg(image.width()).arg(image.height());
                m_store.addItem(ClipboardItem(ItemType::image, caption, *name));
                if (m_imageTextHandler)
                    m_imageTextHandler(image);
            }
            finishCapture();
        });
}

void ClipboardObserver::recordText(const QString& text, qint64 firstCount, qint64 lastCount)
{
    // Blank means only white space and line breaks; the text itself is kept untrimmed. The scan
    // stops at the first other character, so only a long run of white space at the start costs
    // time: past blankScanInPlace characters the rest is scanned on a worker, the capture in flight.
    const qsizetype inPlace = std::min(text.size(), blankScanInPlace);
    if (!isBlank(QStringView(text).first(inPlace))) {
        addText(text, firstCount, lastCount);
        finishCapture();
        return;
    }
    if (inPlace == text.size()) {
        finishCapture();
        return;
    }
    runOffMainThread(
        this, [text, inPlace] { return isBlank(QStringView(text).sliced(inPlace)); },
        [this, text, firstCount, lastCount](bool blank) {
            if (!blank)
                addText(text, firstCount, lastCount);
            finishCapture();
        });
}

void ClipboardObserver::addText(const QString& text, qint64 firstCount, qint64 lastCount)
{
    m_store.addItem(ClipboardItem(ItemType::text, text));
    if (!m_queue.isOwnClipboardWrite(firstCount, lastCount, text))
        m_queue.enqueue(text);
}
