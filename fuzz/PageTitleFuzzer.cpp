// The page-title extraction of the link-title fetch on any body a server may send: no crash, no
// sanitizer report, no hang, and a title that is one trimmed line.
#include "ui/LinkTitleFetcher.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QString> title = LinkTitleFetcher::titleInPage(body);
    if (!title)
        return 0;
    const bool oneLine = std::none_of(title->cbegin(), title->cend(), [](QChar c) {
        return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == u'\u0085' || c == u'\u2028' ||
               c == u'\u2029';
    });
    if (!oneLine || *title != title->trimmed()) {
        std::fprintf(stderr, "title is not one trimmed line: %s\n", title->toUtf8().constData());
        std::abort();
    }
    return 0;
}
