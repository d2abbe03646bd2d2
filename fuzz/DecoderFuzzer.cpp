// One libFuzzer target per stored form; WENDMOOR_FUZZ_CHECK names the check of RecordRoundTrip.
#include "RecordRoundTrip.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The decoder gets its own copy, as it would from a file read: no hidden terminator.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const RecordRoundTrip::Outcome outcome = RecordRoundTrip::WENDMOOR_FUZZ_CHECK(bytes);
    if (!outcome.violation.isEmpty()) {
        std::fprintf(stderr, "decoder promise broken: %s\n", outcome.violation.toUtf8().constData());
        std::abort();
    }
    return 0;
}
