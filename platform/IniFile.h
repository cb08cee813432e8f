#pragma once
// Private-profile INI files ("Tavrel.ini"): reads and single-value writes that
// keep every other section, key, comment and line of the file as it was.
#include <QString>

namespace Platform {

class IniFile
{
public:
    explicit IniFile(const QString& path);
    // Section and key compare without regard to case; the value is trimmed.
    // A missing file, section or key reads as empty text.
    QString readString(const QString& section, const QString& key) const;
    // Replaces the first matching key line of the section, or appends the key to
    // the section, or appends the section to the file. Creates the file when
    // missing; replaces it atomically. Throws std::runtime_error on failure.
    void writeString(const QString& section, const QString& key, const QString& value);

private:
    QString m_path;
};

} // namespace Platform
