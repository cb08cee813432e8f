#include "host/AccessFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace AccessFile {

bool isAccessHeader(const QByteArray& header)
{
    // Page 0 of every version: the page type 0x00 0x01 0x00 0x00, then the
    // format's name with its terminating zero.
    static const QByteArray start("\x00\x01\x00\x00", 4);
    if (header.size() < 20 || !header.startsWith(start))
        return false;
    const QByteArray name = header.mid(4, 16);
    return name == QByteArray("Standard Jet DB\0", 16) || name == QByteArray("Standard ACE DB\0", 16);
}

bool isAccessFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && isAccessHeader(file.read(20));
}

QString lockFileBeside(const QString& path)
{
    const QFileInfo info(path);
    const QDir dir = info.absoluteDir();
    for (const char* suffix : { ".ldb", ".laccdb", ".LDB", ".LACCDB" }) {
        const QString lock = dir.filePath(info.completeBaseName() + QString::fromLatin1(suffix));
        if (QFileInfo::exists(lock))
            return lock;
    }
    return {};
}

} // namespace AccessFile
