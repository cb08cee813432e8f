#pragma once
// Stand-in for HKEY_CURRENT_USER: one INI-format file, the key path as the group.
// Default location: $XDG_CONFIG_HOME/kolvane/registry.ini (XDG default ~/.config).
// A file that cannot be parsed holds no key; the next write renames it to
// "registry.ini.damaged-<yyyyMMdd-hhmmss>", warns on standard error and starts a new file.
#include <QString>

namespace Platform {

class RegistryKey
{
public:
    // Opens keyPath (backslash-separated, as "Software\\X\\Y"). With create false
    // and the key absent, isOpen() is false and every read gives empty text.
    RegistryKey(const QString& keyPath, bool create);
    bool isOpen() const { return m_open; }
    // Missing key or value: empty text.
    QString readString(const QString& name) const;
    // Writes one string value at once, atomically (the whole file is replaced).
    // Throws std::runtime_error (Chinese text) when the file cannot be written.
    void writeString(const QString& name, const QString& value);

private:
    QString m_group;
    bool m_open = false;
};

// Path of the hive file. Tests point it at their temporary directory.
QString registryFilePath();
void setRegistryFilePath(const QString& path); // empty: back to the default

} // namespace Platform
