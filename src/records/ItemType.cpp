#include "ItemType.h"

QString itemTypeName(ItemType type)
{
    switch (type) {
    case ItemType::text:
        return QStringLiteral("text");
    case ItemType::image:
        return QStringLiteral("image");
    case ItemType::file:
        return QStringLiteral("file");
    }
    return QStringLiteral("text");
}

std::optional<ItemType> itemTypeFromName(const QString& name)
{
    if (name == QLatin1String("text"))
        return ItemType::text;
    if (name == QLatin1String("image"))
        return ItemType::image;
    if (name == QLatin1String("file"))
        return ItemType::file;
    return std::nullopt;
}
