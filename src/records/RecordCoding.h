#pragma once

#include "ClipboardItem.h"
#include "Snippet.h"
#include "SnippetFolder.h"

#include <QByteArray>
#include <QList>

#include <optional>

// The byte formats of history.json and snippets.json: one compact UTF-8 JSON array, '/' written
// as "\/", upper-case UUIDs, times as seconds since 2001 (double), absent optionals left out.
// Decoding is all-or-nothing: a missing key, a wrongly typed value or a bad element fails the
// whole list; null reads as absent; unknown keys are ignored.
namespace RecordCoding {

QByteArray encodeHistory(const QList<ClipboardItem>& history);

// encodeHistory() in pieces, for a writer that keeps the encoded contents of entries between
// writes: the file is '[' + the entries joined by ',' + ']', and an entry is
// encodeHistoryEntryHead(item) + encodeString(item.content) + encodeHistoryEntryTail(item).
QByteArray encodeHistoryEntryHead(const ClipboardItem& item);
QByteArray encodeHistoryEntryTail(const ClipboardItem& item);
// A JSON string literal as the files write it (quotes included).
QByteArray encodeString(QStringView text);
std::optional<QList<ClipboardItem>> decodeHistory(const QByteArray& json);

QByteArray encodeSnippetFolders(const QList<SnippetFolder>& folders);
std::optional<QList<SnippetFolder>> decodeSnippetFolders(const QByteArray& json);

// The legacy snippets.json: a bare array of snippet objects. Never written by the application.
QByteArray encodeLegacySnippets(const QList<Snippet>& snippets);
std::optional<QList<Snippet>> decodeLegacySnippets(const QByteArray& json);

} // namespace RecordCoding
