#include "platform/Registry.h"

#include "platform/Failure.h"

#include "platform/System.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <stdexcept>

namespace Platform {

namespace {

QString& pathOverride()
{
    static QString path;
    return path;
}

[[noreturn]] void fail(const QString& path, const QString& cause)
{
    throw Platform::Failure(QCoreApplication::translate("Platform::Registry", "无法写入注册表文件 %1：%2")
                                .arg(QDir::toNativeSeparators(path), cause));
}

// Why QSettings could not write the file, as far as the system tells.
QString writeFailure(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QCoreApplication::translate("Platform::Registry", "该位置是一个文件夹");
    QTemporaryFile probe(info.absolutePath() + QStringLiteral("/XXXXXX.tmp"));
    if (!probe.open())
        return probe.errorString();
    return QCoreApplication::translate("Platform::Registry", "拒绝访问");
}

// True when QSettings cannot parse the file (a crash or a full disk while it was
// written can leave junk). QSettings keeps parsed files in a process-wide cache
// and reports a malformed file only to the object that reads it from disk, and
// only for the sections it parses; so a private copy is parsed whole.
bool isMalformed(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QTemporaryFile copy;
    if (!copy.open() || copy.write(file.readAll()) < 0 || !copy.flush())
        return false;
    QSettings settings(copy.fileName(), QSettings::IniFormat);
    settings.allKeys();
    return settings.status() == QSettings::FormatError;
}

// Moves a malformed file aside so that nothing is silently lost; the next write
// starts a new file.
void setAside(const QString& path)
{
    const QString stem = path + QStringLiteral(".damaged-") + now().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString kept = stem;
    for (int n = 2; QFileInfo::exists(kept); ++n)
        kept = stem + QLatin1Char('-') + QString::number(n);
    QFile file(path);
    if (!file.rename(kept))
        fail(path, file.errorString());
    qWarning().noquote() << QCoreApplication::translate(
        "Platform::Registry", "注册表文件 %1 已损坏，无法读取；已改名为 %2 保留，记住的值将重新写入。")
                                .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(kept));
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
    // A key exists when it holds a value or a subkey holds one. A malformed file
    // holds no key.
    const QString path = registryFilePath();
    if (isMalformed(path))
        return;
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(m_group);
    m_open = !settings.allKeys().isEmpty();
}

QString RegistryKey::readString(const QString& name) const
{
    const QString path = registryFilePath();
    if (!m_open || isMalformed(path))
        return QString();
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(m_group);
    return settings.value(name).toString();
}

void RegistryKey::writeString(const QString& name, const QString& value)
{
    const QString path = registryFilePath();
    if (!m_open)
        fail(path, QCoreApplication::translate("Platform::Registry", "注册表项未打开"));
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        fail(path,
            QCoreApplication::translate("Platform::Registry", "无法建立文件夹 %1")
                .arg(QDir::toNativeSeparators(QFileInfo(path).absolutePath())));
    if (isMalformed(path))
        setAside(path);

    // QSettings replaces the file through QSaveFile when atomic sync is on.
    QSettings settings(path, QSettings::IniFormat);
    settings.setAtomicSyncRequired(true);
    settings.beginGroup(m_group);
    settings.setValue(name, value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        fail(path, writeFailure(path));
}

} // namespace Platform
