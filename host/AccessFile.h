#pragma once
// Recognising an Access database file (Jet 3, Jet 4, ACE) by its first page,
// and the lock file Access keeps beside one while it is open.
#include <QByteArray>
#include <QString>

namespace AccessFile {

// Whether `header` (the file's first bytes, at least 20) is the start of an
// Access database: "Standard Jet DB" or "Standard ACE DB" after the page type.
bool isAccessHeader(const QByteArray& header);
// Whether the file at `path` starts like an Access database; false when it
// cannot be read.
bool isAccessFile(const QString& path);
// The lock file beside `path` (".ldb" for Jet, ".laccdb" for ACE) when one
// exists: the file may still be open in Access. Empty otherwise.
QString lockFileBeside(const QString& path);

} // namespace AccessFile
