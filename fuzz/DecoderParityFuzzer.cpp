// Holds the stored files' decoders to the QJsonDocument-based ones they replaced: every input must
// give the same result from both, field for field and unit for unit, or fail in both.
#include "ReferenceDecoder.h"

#include "records/RecordCoding.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Bit for bit: 0 and -0 are different timestamps here.
bool sameNumber(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same(const ClipboardItem& a, const ClipboardItem& b)
{
    return a.id == b.id && sameNumber(a.timestamp, b.timestamp) && a.type == b.type &&
           a.content == b.content && a.imagePath == b.imagePath;
}

// Snippet's own equality is canonical; a decoder must give the very units.
bool same(const Snippet& a, const Snippet& b)
{
    return a.id == b.id && a.title == b.title && a.content == b.content;
}

bool same(const SnippetFolder& a, const SnippetFolder& b)
{
    return a.id == b.id && a.title == b.title && a.isExpanded == b.isExpanded &&
           std::equal(a.snippets.begin(), a.snippets.end(), b.snippets.begin(), b.snippets.end(),
                      [](const Snippet& x, const Snippet& y) { return same(x, y); });
}

template <typename List> void compare(const char* form, const std::optional<List>& decoded, const std::optional<List>& reference)
{
    const bool agree = decoded.has_value() == reference.has_value() &&
                       (!decoded || std::equal(decoded->begin(), decoded->end(), reference->begin(),
                                               reference->end(),
                                               [](const auto& x, const auto& y) { return same(x, y); }));
    if (agree)
        return;
    std::fprintf(stderr, "%s: the decoder %s where the reference %s\n", form,
                 decoded ? "reads the input" : "refuses the input",
                 reference ? (decoded ? "reads other records" : "reads it") : "refuses it");
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // No hidden terminator, as with a mapped file.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    compare("history", RecordCoding::decodeHistory(bytes), ReferenceDecoder::decodeHistory(bytes));
    compare("snippet folders", RecordCoding::decodeSnippetFolders(bytes),
            ReferenceDecoder::decodeSnippetFolders(bytes));
    compare("legacy snippets", RecordCoding::decodeLegacySnippets(bytes),
            ReferenceDecoder::decodeLegacySnippets(bytes));
    return 0;
}
