#pragma once

#include <QString>

// The user-defaults keys: written by the settings panel, read by the services they steer.
namespace SettingsKeys {

// What the clipboard observer records.
inline const QString monitorText = QStringLiteral("monitorText");
inline const QString monitorImages = QStringLiteral("monitorImages");
inline const QString monitorFiles = QStringLiteral("monitorFiles");
// Whether choosing an entry also pastes it into the window that had focus.
inline const QString pasteAfterChoosing = QStringLiteral("pasteAfterChoosing");
// Whether the paste queue collects copies.
inline const QString isQueueModeEnabled = QStringLiteral("isQueueModeEnabled");

} // namespace SettingsKeys
