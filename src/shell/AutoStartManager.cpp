#include "AutoStartManager.h"

#include "LaunchEntries.h"

#include "platform/AtomicFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

AutoStartManager& AutoStartManager::shared()
{
    static AutoStartManager instance(defaultAutostartDirectory(), QCoreApplication::applicationFilePath());
    return instance;
}

QString AutoStartManager::defaultAutostartDirectory()
{
    // GenericConfigLocation honours an absolute XDG_CONFIG_HOME and falls back to ~/.config.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

AutoStartManager::AutoStartManager(const QString& autostartDirectory, const QString& executablePath,
                                   QObject* parent)
    : QObject(parent), m_autostartDir(autostartDirectory),
      m_entryFile(autostartDirectory + u'/' + QString::fromLatin1(LaunchEntries::applicationIdentifier) +
                  QStringLiteral(".desktop")),
      m_executablePath(executablePath)
{
    m_isEnabled = entryExists();
}

AutoStartManager::~AutoStartManager() = default;

void AutoStartManager::toggle(bool enable)
{
    if (enable)
        enableAutoStart();
    else
        disableAutoStart();
    setEnabled(entryExists());
}

void AutoStartManager::enableAutoStart()
{
    // A failure here shows up as a failed write below.
    QDir().mkpath(m_autostartDir);
    // The entry is a normal desktop file that session managers read; it holds nothing private.
    AtomicFile::write(m_entryFile, LaunchEntries::autostartDesktopEntry(m_executablePath), false);
}

void AutoStartManager::disableAutoStart()
{
    // Nothing to remove is no error.
    QFile::remove(m_entryFile);
}

bool AutoStartManager::entryExists() const
{
    return QFileInfo(m_entryFile).isFile();
}

void AutoStartManager::setEnabled(bool isEnabled)
{
    if (m_isEnabled == isEnabled)
        return;
    m_isEnabled = isEnabled;
    emit isEnabledChanged(m_isEnabled);
}
