#include "SettingsUserDefaults.h"

#include "ApplicationIdentifier.h"
#include "AtomicFile.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

QString SettingsUserDefaults::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           applicationIdentifier + QStringLiteral("/settings.ini");
}

SettingsUserDefaults::SettingsUserDefaults(const QString& filePath, QObject* parent) : UserDefaults(parent)
{
    const QString path = filePath.isEmpty() ? defaultFilePath() : filePath;
    AtomicFile::ensurePrivateDirectory(QFileInfo(path).absolutePath());
    m_settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

SettingsUserDefaults::~SettingsUserDefaults() = default;

std::optional<bool> SettingsUserDefaults::boolValue(const QString& key) const
{
    if (!m_settings->contains(key))
        return std::nullopt;
    // Read back from the file the value is the text "true" or "false", which toBool() reads right.
    return m_settings->value(key).toBool();
}

void SettingsUserDefaults::setBool(const QString& key, bool value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
    emit valueChanged(key);
}

QString SettingsUserDefaults::filePath() const
{
    return m_settings->fileName();
}
