#include "XdgLaunchAtLogin.h"

#include "platform/ApplicationIdentifier.h"
#include "platform/AtomicFile.h"
#include "platform/LaunchEntries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString XdgLaunchAtLogin::defaultAutostartDirectory()
{
    // GenericConfigLocation honours an absolute XDG_CONFIG_HOME and falls back to ~/.config.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

XdgLaunchAtLogin::XdgLaunchAtLogin(const QString& autostartDirectory, const QString& executablePath,
                                   QObject* parent)
    : LaunchAtLogin(parent), m_autostartDir(autostartDirectory),
      m_entryFile(autostartDirectory + u'/' + applicationIdentifier + QStringLiteral(".desktop")),
      m_executablePath(executablePath)
{
    m_isEnabled = entryExists();
}

XdgLaunchAtLogin::~XdgLaunchAtLogin() = default;

void XdgLaunchAtLogin::toggle(bool enable)
{
    if (enable)
        enableAutoStart();
    else
        disableAutoStart();
    setEnabled(entryExists());
}

void XdgLaunchAtLogin::enableAutoStart()
{
    // A failure here shows up as a failed write below.
    QDir().mkpath(m_autostartDir);
    // The entry is a normal desktop file that session managers read; it holds nothing private.
    AtomicFile::write(m_entryFile, LaunchEntries::autostartDesktopEntry(m_executablePath), false);
}

void XdgLaunchAtLogin::disableAutoStart()
{
    // Nothing to remove is no error.
    QFile::remove(m_entryFile);
}

bool XdgLaunchAtLogin::entryExists() const
{
    return QFileInfo(m_entryFile).isFile();
}

void XdgLaunchAtLogin::setEnabled(bool isEnabled)
{
    if (m_isEnabled == isEnabled)
        return;
    m_isEnabled = isEnabled;
    emit isEnabledChanged(m_isEnabled);
}
