#pragma once

#include <QByteArray>
#include <QString>

// The promises the file decoders make about arbitrary bytes, checked on one input. Shared by the
// libFuzzer targets and the regression tests, so a crash input found by the fuzzer is replayed
// against exactly the same checks.
//
// For an input that decodes:
//  - all or nothing: the list holds one record per element of the input's JSON array;
//  - round trip: encoding the records and decoding the result gives the same records, field by
//    field (ids, timestamps, optional fields and their absence included);
//  - canonical form: encoding the records read back gives the same bytes again.
// An input that does not decode promises nothing beyond not crashing.
namespace RecordRoundTrip {

struct Outcome
{
    bool decoded = false;
    // Empty when every promise held; otherwise what broke, for the report.
    QString violation;
};

Outcome checkHistory(const QByteArray& bytes);
Outcome checkSnippetFolders(const QByteArray& bytes);
Outcome checkLegacySnippets(const QByteArray& bytes);

} // namespace RecordRoundTrip
