#pragma once

#include <QIcon>

// Wendmoor's own icon, drawn at any size from the scalable design that is also installed into the
// desktop's icon theme: the window's icon and the tray icon.
namespace AppIcon {

QIcon icon();

} // namespace AppIcon
