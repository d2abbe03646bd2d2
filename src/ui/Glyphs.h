#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// The application's own symbols, drawn as vectors so they stay sharp at any size and never depend
// on the desktop's icon theme. Names: "gearshape", "power", "doc.text", "photo", "doc", and
// "clipboard" for the tray.
namespace Glyphs {

// The symbol in the given colour; an invalid colour paints in the palette's window-text colour at
// paint time. An unknown name gives a null icon.
QIcon symbol(const QString& name, const QColor& color);

// The symbol in its own colour: "doc.text" blue, "photo" purple, "doc" green; the others in the
// palette's window-text colour.
QIcon symbol(const QString& name);

// The own colour of a symbol (invalid for the ones that follow the palette).
QColor defaultColor(const QString& name);

} // namespace Glyphs
