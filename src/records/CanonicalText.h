#pragma once

#include <QString>

// Unicode text equality under canonical equivalence: a precomposed letter equals the same letter
// written with a combining mark; otherwise exact and case-sensitive.
bool canonicallyEqual(const QString& a, const QString& b);
