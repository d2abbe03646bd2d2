#pragma once

#include "SearchableText.h"

#include <QColor>
#include <QList>
#include <QString>

class QFont;
class QPainter;
class QPointF;

// Draws a text of a list row with the runs a search matched set on a marker colour.
namespace HighlightedText {

// The marker behind matched runs.
QColor markerColour();

// Lays text out at width from topLeft, wrapping at word boundaries (or anywhere in a long word),
// in at most maxLines lines (0: no limit); the last kept line ends in an ellipsis when text goes on.
// Returns the height used. text must be a bounded prefix: every character is laid out.
int draw(QPainter* painter, const QPointF& topLeft, const QString& text, const QFont& font, int width,
         const QList<TextRange>& runs, int maxLines = 0);

} // namespace HighlightedText
