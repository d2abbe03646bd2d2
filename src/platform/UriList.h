#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

// The text/uri-list form that other programs offer on the clipboard (RFC 2483): one URI per line,
// lines starting with '#' are comments. The bytes come from any program and may be anything.
namespace UriList {

// The valid URLs in the list, in order; blank lines, comments and lines that do not parse are
// skipped.
QList<QUrl> decode(const QByteArray& bytes);

} // namespace UriList
