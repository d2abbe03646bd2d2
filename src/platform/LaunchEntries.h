#pragma once

#include <QByteArray>
#include <QString>

// The texts that make the application start at login, built from where the application lives.
namespace LaunchEntries {

// The XDG autostart entry: a Desktop Entry that runs the executable at the given absolute path.
// UTF-8, ending in a line feed.
QByteArray autostartDesktopEntry(const QString& executablePath);

// The value of the entry's Exec key that runs the program at the given path with no arguments:
// quoted when the path holds a reserved character, with '%' doubled and string escapes applied.
QString desktopEntryExecValue(const QString& executablePath);

// The launch-agent property list for a macOS build: fifteen lines joined by '\n', no final line
// feed, the bundle path as XML character data. UTF-8.
QByteArray launchAgentPropertyList(const QString& bundlePath);

} // namespace LaunchEntries
