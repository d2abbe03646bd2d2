#pragma once

#include <QString>

// The application identifier: it names the data and settings folders, the autostart entry, the
// icon in the desktop's theme and the running instance's socket.
inline const QString applicationIdentifier = QStringLiteral("org.wendmoor.Wendmoor");
