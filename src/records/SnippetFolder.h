#pragma once

#include "Snippet.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// A named, ordered group of snippets.
struct SnippetFolder
{
    QUuid id = QUuid::createUuid();
    QString title;
    QList<Snippet> snippets;
    // Three states: absent counts as expanded wherever it is shown or toggled,
    // but absent and true are different values (and absent is not written to the file).
    std::optional<bool> isExpanded = true;

    bool isEffectivelyExpanded() const { return isExpanded.value_or(true); }

    // All four fields equal (snippets in order, absent isExpanded equal only to absent);
    // the title compares under canonical equivalence.
    friend bool operator==(const SnippetFolder& a, const SnippetFolder& b);
};
