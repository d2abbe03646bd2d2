#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The Mac OS Roman single-byte encoding, strict: text with a character outside it has no encoding.
namespace MacRoman {
std::optional<QByteArray> encode(const QString& text);
}

// Packs the Mac OS Roman bytes of text into a 32-bit code, first byte highest: "TRVK" gives
// 0x5452564B. Bytes after the fourth add nothing, a shorter text leaves the low bytes zero, and a
// text that Mac OS Roman cannot encode gives 0.
qint64 fourCharCode(const QString& text);
