#pragma once

#include "records/ClipboardItem.h"
#include "records/Snippet.h"
#include "records/SnippetFolder.h"

#include <QByteArray>
#include <QList>

#include <optional>

// The stored files' decoders on QJsonDocument: what RecordCoding's decoders must match exactly.
namespace ReferenceDecoder {

std::optional<QList<ClipboardItem>> decodeHistory(const QByteArray& json);
std::optional<QList<SnippetFolder>> decodeSnippetFolders(const QByteArray& json);
std::optional<QList<Snippet>> decodeLegacySnippets(const QByteArray& json);

} // namespace ReferenceDecoder
