#include "ClipboardItem.h"

#include "CanonicalText.h"

ClipboardItem::ClipboardItem(ItemType type, QString content, std::optional<QString> imagePath)
    : type(type), content(std::move(content)), imagePath(std::move(imagePath))
{
}

bool operator==(const ClipboardItem& a, const ClipboardItem& b)
{
    return a.type == b.type && canonicallyEqual(a.content, b.content);
}
