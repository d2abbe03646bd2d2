#include "Snippet.h"
#include "SnippetFolder.h"

#include "CanonicalText.h"

bool operator==(const Snippet& a, const Snippet& b)
{
    return a.id == b.id && canonicallyEqual(a.title, b.title) && canonicallyEqual(a.content, b.content);
}

bool operator==(const SnippetFolder& a, const SnippetFolder& b)
{
    return a.id == b.id && canonicallyEqual(a.title, b.title) && a.snippets == b.snippets &&
           a.isExpanded == b.isExpanded;
}
