#include "platform/Registry.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <stdexcept>

namespace Platform {

namespace {

QString& pathOverride()
{
    static QString path;
    return path;
}

[[noreturn]] void fail(const QString& path, const char* what)
{
    throw std::runtime_error(QStringLiteral("Cannot write the registry file %1: %2")
                                 .arg(QDir::toNativeSeparators(path), QString::fromUtf8(what))
                                 .toStdString());
}

} // namespace

QString registryFilePath()
{
    if (!pathOverride().isEmpty())
        return pathOverride();
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/kolvane/registry.ini");
}

void setRegistryFilePath(const QString& path)
{
    pathOverride() = path;
}

RegistryKey::RegistryKey(const QString& keyPath, bool create)
{
    // Registry paths use backslashes; QSettings groups use slashes.
    m_group = QString(keyPath).replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (m_group.startsWith(QLatin1Char('/')))
        m_group.remove(0, 1);
    while (m_group.endsWith(QLatin1Char('/')))
        m_group.chop(1);

    if (create) {
        m_open = true;
        return;
    }
    // A key exists when it holds a value or a subkey holds one.
    QSettings settings(registryFilePath(), QSettings::IniFormat);
    settings.beginGroup(m_group);
    m_open = !settings.allKeys().isEmpty();
}

QString RegistryKey::readString(const QString& name) const
{
    if (!m_open)
        return QString();
    QSettings settings(registryFilePath(), QSettings::IniFormat);
    settings.beginGroup(m_group);
    return settings.value(name).toString();
}

void RegistryKey::writeString(const QString& name, const QString& value)
{
    const QString path = registryFilePath();
    if (!m_open)
        fail(path, "the key is not open");
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        fail(path, "cannot create its directory");

    // QSettings replaces the file through QSaveFile when atomic sync is on.
    QSettings settings(path, QSettings::IniFormat);
    settings.setAtomicSyncRequired(true);
    settings.beginGroup(m_group);
    settings.setValue(name, value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        fail(path, settings.status() == QSettings::FormatError ? "the file is malformed" : "access denied");
}

} // namespace Platform
