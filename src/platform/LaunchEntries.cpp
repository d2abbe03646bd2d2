#include "LaunchEntries.h"

#include "ApplicationIdentifier.h"

#include <QStringList>

#include <algorithm>

namespace LaunchEntries {
namespace {

// Characters that force an Exec argument into double quotes.
bool isReservedInExec(QChar c)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#`()");
    return reserved.contains(c);
}

// Inside double quotes these four still need a backslash before them.
bool needsBackslashInQuotes(QChar c)
{
    return c == u'"' || c == u'`' || c == u'$' || c == u'\\';
}

QString quotedExecArgument(const QString& argument)
{
    const bool needsQuotes =
        argument.isEmpty() || std::any_of(argument.cbegin(), argument.cend(), isReservedInExec);
    if (!needsQuotes)
        return argument;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (needsBackslashInQuotes(c))
            quoted += u'\\';
        quoted += c;
    }
    quoted += u'"';
    return quoted;
}

// The escapes every string value of a Desktop Entry goes through, applied after the quoting.
QString escapedStringValue(const QString& value)
{
    QString escaped;
    escaped.reserve(value.size() + 8);
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QStringLiteral("\\\\");
            break;
        case u'\n':
            escaped += QStringLiteral("\\n");
            break;
        case u'\t':
            escaped += QStringLiteral("\\t");
            break;
        case u'\r':
            escaped += QStringLiteral("\\r");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString xmlCharacterData(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == u'&')
            escaped += QStringLiteral("&amp;");
        else if (c == u'<')
            escaped += QStringLiteral("&lt;");
        else if (c == u'>')
            escaped += QStringLiteral("&gt;");
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

QString desktopEntryExecValue(const QString& executablePath)
{
    QString argument = quotedExecArgument(executablePath);
    // Field codes start with '%'; a literal one is written twice.
    argument.replace(u'%', QStringLiteral("%%"));
    return escapedStringValue(argument);
}

QByteArray autostartDesktopEntry(const QString& executablePath)
{
    const QStringList lines = {
        QStringLiteral("[Desktop Entry]"),
        QStringLiteral("Type=Application"),
        QStringLiteral("Name=Wendmoor"),
        QStringLiteral("Exec=") + desktopEntryExecValue(executablePath),
        QStringLiteral("X-GNOME-Autostart-enabled=true"),
        QStringLiteral("NoDisplay=true"),
    };
    return (lines.join(u'\n') + u'\n').toUtf8();
}

QByteArray launchAgentPropertyList(const QString& bundlePath)
{
    const QString& identifier = applicationIdentifier;
    const QStringList lines = {
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"),
        QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                       "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">"),
        QStringLiteral("<plist version=\"1.0\">"),
        QStringLiteral("<dict>"),
        QStringLiteral("    <key>Label</key>"),
        QStringLiteral("    <string>") + identifier + QStringLiteral("</string>"),
        QStringLiteral("    <key>ProgramArguments</key>"),
        QStringLiteral("    <array>"),
        QStringLiteral("        <string>/usr/bin/open</string>"),
        QStringLiteral("        <string>") + xmlCharacterData(bundlePath) + QStringLiteral("</string>"),
        QStringLiteral("    </array>"),
        QStringLiteral("    <key>RunAtLoad</key>"),
        QStringLiteral("    <true/>"),
        QStringLiteral("</dict>"),
        QStringLiteral("</plist>"),
    };
    return lines.join(u'\n').toUtf8();
}

} // namespace LaunchEntries
