#pragma once
// Private-profile INI files ("Tavrel.ini"): reads and single-value writes that
// keep every other section, key, comment and line of the file as it was, byte for
// byte. A file that is not valid UTF-8 is taken to be in GB18030, as files written
// on a Chinese Windows are, and new text goes into it in that encoding.
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
    // missing; replaces it atomically, starting again when another program changed
    // the file meanwhile. Throws std::runtime_error (Chinese text) on failure.
    void writeString(const QString& section, const QString& key, const QString& value);

private:
    QString m_path;
};

} // namespace Platform
