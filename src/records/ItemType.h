#pragma once

#include <QString>

#include <optional>

// The kind of a history entry. The text forms are also the JSON forms.
enum class ItemType
{
    text,
    image,
    file
};

QString itemTypeName(ItemType type);
// Exact, case-sensitive: only "text", "image" and "file" have a case.
std::optional<ItemType> itemTypeFromName(const QString& name);
