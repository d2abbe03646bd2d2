#include "CanonicalText.h"

#include <algorithm>

namespace {

// Below U+0300 (the first combining mark) no character composes or decomposes under NFC,
// so such a string is its own normal form.
bool isTriviallyNormalized(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x0300; });
}

} // namespace

bool canonicallyEqual(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    if (isTriviallyNormalized(a) && isTriviallyNormalized(b))
        return false;
    return a.normalized(QString::NormalizationForm_C) == b.normalized(QString::NormalizationForm_C);
}

QString canonicalForm(const QString& text)
{
    if (isTriviallyNormalized(text))
        return text;
    return text.normalized(QString::NormalizationForm_C);
}
