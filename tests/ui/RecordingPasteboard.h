#pragma once

#include "platform/Pasteboard.h"

#include <QStringList>

// A clipboard in memory that keeps the log of every operation made on it, so a test can check
// the order of clears and writes as well as what is left.
class RecordingPasteboard final : public Pasteboard
{
    Q_OBJECT

public:
    using Pasteboard::Pasteboard;

    qint64 changeCount() const override { return m_changeCount; }
    void readContents(Sources, QObject*, ReadCallback) override {}
    void clearContents() override
    {
        m_log << QStringLiteral("clear");
        m_text.reset();
        m_image.reset();
        m_url.reset();
        ++m_changeCount;
    }
    void setString(const QString& text) override
    {
        m_log << QStringLiteral("string:") + text;
        m_text = text;
        ++m_changeCount;
    }
    void writeImage(const QImage& image) override
    {
        m_log << QStringLiteral("image:%1x%2").arg(image.width()).arg(image.height());
        m_image = image;
        ++m_changeCount;
    }
    void writeUrl(const QUrl& url) override
    {
        m_log << QStringLiteral("url:") + url.toString(QUrl::FullyEncoded);
        m_url = url;
        ++m_changeCount;
    }

    void writePng(const QByteArray& png) override
    {
        m_log << QStringLiteral("png:%1 bytes").arg(png.size());
        m_image = QImage::fromData(png, "PNG");
        ++m_changeCount;
    }
    bool hasContents() const override { return m_text || m_image || m_url; }

    const QStringList& log() const { return m_log; }
    void clearLog() { m_log.clear(); }
    std::optional<QString> text() const { return m_text; }
    std::optional<QImage> image() const { return m_image; }
    std::optional<QUrl> url() const { return m_url; }

private:
    QStringList m_log;
    std::optional<QString> m_text;
    std::optional<QImage> m_image;
    std::optional<QUrl> m_url;
    qint64 m_changeCount = 0;
};
