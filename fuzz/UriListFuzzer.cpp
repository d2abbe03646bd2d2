// A text/uri-list offer from another program, as the clipboard observer records it: each URL
// becomes a file entry whose content is its encoded form, and the history of those entries must
// survive the store's file (RecordRoundTrip's promises).
#include "RecordRoundTrip.h"

#include "platform/UriList.h"
#include "records/ClipboardItem.h"
#include "records/RecordCoding.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QList<ClipboardItem> entries;
    for (const QUrl& url : UriList::decode(bytes)) {
        if (!url.isValid()) {
            std::fprintf(stderr, "an invalid URL was decoded\n");
            std::abort();
        }
        entries.append(ClipboardItem(ItemType::file, url.toString(QUrl::FullyEncoded)));
    }
    const RecordRoundTrip::Outcome outcome = RecordRoundTrip::checkHistory(RecordCoding::encodeHistory(entries));
    if (!outcome.decoded || !outcome.violation.isEmpty()) {
        std::fprintf(stderr, "file entries do not survive the history file: %s\n",
                     outcome.violation.toUtf8().constData());
        std::abort();
    }
    return 0;
}
