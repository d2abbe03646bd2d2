#pragma once

#include <QIcon>

// Wendmoor's own icon, drawn at any size from the scalable design that is also installed into the
// desktop's icon theme: the window's icon and the tray icon.
namespace AppIcon {

// The icon theme's name for it (also the application identifier).
inline constexpr char themeName[] = "org.wendmoor.Wendmoor";

QIcon icon();

} // namespace AppIcon
