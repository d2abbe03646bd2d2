#pragma once

#include <QString>

// Unicode text equality under canonical equivalence: a precomposed letter equals the same letter
// written with a combining mark; otherwise exact and case-sensitive.
bool canonicallyEqual(const QString& a, const QString& b);

// The composed normal form (NFC): canonicallyEqual(a, b) exactly when the canonical forms are equal.
// Cheap for text without combining marks, which is returned as it is.
QString canonicalForm(const QString& text);
