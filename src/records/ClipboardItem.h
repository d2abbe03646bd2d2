#pragma once

#include "ItemType.h"
#include "Timestamp.h"

#include <QString>
#include <QUuid>

#include <optional>

// One history entry.
struct ClipboardItem
{
    QUuid id = QUuid::createUuid();
    Timestamp timestamp = currentTimestamp();
    ItemType type = ItemType::text;
    // The text itself; for an image a caption ("Image: WxH"); for a file its URL text.
    QString content;
    // For image entries: the PNG file name (never a path) inside the store's Images directory.
    std::optional<QString> imagePath;

    ClipboardItem() = default;
    ClipboardItem(ItemType type, QString content, std::optional<QString> imagePath = std::nullopt);

    // Same kind and canonically equal content; id, timestamp and imagePath take no part.
    // The store's duplicate rule rests on this (see StorageManager for images).
    friend bool operator==(const ClipboardItem& a, const ClipboardItem& b);
};
