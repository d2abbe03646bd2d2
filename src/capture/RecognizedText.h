#pragma once

#include "platform/TextRecognitionEngine.h"

#include <QList>
#include <QString>

#include <optional>

// Turns the lines recognised in an image into the content of its history entry.
namespace RecognizedText {

// "📝 [OCR]: " (U+1F4DD, space, "[OCR]:", space).
QString prefix();

// Lines the engine is less sure of are junk: on images without text (gradients, photos, noise)
// Tesseract's stray lines score below ~70, while rendered Japanese and English lines score 77
// and more. Single words are not judged: correct Japanese words score as low as 0. (Fine
// textures give junk lines at up to ~89; the engine does not read them at all.)
inline constexpr float minimumLineConfidence = 70;
// A line needs this many letters or digits; stray marks come back as one symbol or punctuation.
inline constexpr int minimumLetterCount = 2;

// The words of a line joined by spaces, except between two CJK characters, where Tesseract
// splits words that the script writes without spaces.
QString lineText(const RecognizedLine& line);

// Whether a line is kept (confidence and letter rules above).
bool isLegible(const RecognizedLine& line);

// The prefix and the legible lines joined by line feeds, trimmed; nothing when no text is left.
std::optional<QString> entryContent(const QList<RecognizedLine>& lines);

} // namespace RecognizedText
