#include "import/NewDatabase.h"

#include "db/ImportStatements.h"
#include "db/Query.h"
#include "platform/System.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlError>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace Import {

namespace {

const QString connectionName = QStringLiteral("kolvane-new-file");

// A new, empty file of its own in `dir`, named after `name`: created
// exclusively (a link planted under that name is not followed), and made
// readable and writable by its owner and group only, through its descriptor,
// as the finished database stays (SQLite gives its -wal and -shm the same).
// Empty, with the reason in `error`, when none can be made.
QString newFileIn(const QString& dir, const QString& name, QString& error)
{
    QFile file;
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.setFileName(QDir(dir).filePath(QStringLiteral(".%1.%2.part")
                                                .arg(name)
                                                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))));
        // Created with no more than the final mode, so that nobody else opens
        // it before the mode is set; set again past the umask.
        const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup;
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly, mode)) {
            if (!file.setPermissions(mode)) {
                error = file.errorString();
                file.remove();
                return {};
            }
            return file.fileName();
        }
        if (!file.exists())
            break;
    }
    error = file.errorString();
    return {};
}

// Whether the file's contents have reached the disk.
bool syncToDisk(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && ::fsync(file.handle()) == 0;
}

// Fills the SQLite file `path` in one transaction; the reason when it fails.
QString fillFile(const QString& path, const Fill& fill)
{
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        db.setDatabaseName(path);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            try {
                // No journal on the disk and no waiting for it: the file is
                // synced once, when it is complete.
                for (const QString& pragma : Db::sqlImportFastBuildSqlite)
                    Db::Query(db, pragma).open();
                Db::inTransaction(db, [&] { fill(db); });
            } catch (const std::exception& e) {
                error = Platform::messageOf(e);
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
    return error;
}

// Stops an import from within its progress report.
class Cancelled : public std::runtime_error
{
public:
    Cancelled()
        : std::runtime_error("cancelled")
    {
    }
};

} // namespace

QString buildNewFile(const QString& target, const Fill& fill, const Place& place)
{
    const QFileInfo info(target);
    QString error;
    const QString temp = newFileIn(info.absolutePath(), info.fileName(), error);
    if (temp.isEmpty())
        return QCoreApplication::translate("Tool", "无法在目录 %1 中建立临时文件：%2").arg(info.absolutePath(), error);
    error = fillFile(temp, fill);
    if (error.isEmpty() && !syncToDisk(temp))
        error = QCoreApplication::translate("Tool", "无法把 %1 写到磁盘").arg(temp);
    if (error.isEmpty()) {
        if (place)
            error = place(temp);
        // Never over a file, or a link, that appeared meanwhile. QFile::rename
        // would copy through a dangling link when renaming fails.
        else if (!renameNoReplace(temp, target))
            error = QCoreApplication::translate("Tool", "无法把 %1 改名为 %2（该文件已存在或目录不可写）")
                        .arg(temp, target);
    }
    if (!error.isEmpty())
        QFile::remove(temp);
    return error;
}

bool renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // A file system without the no-replace rename (NFS, CIFS): a hard link,
    // which fails on anything at the target, a link included.
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    ::unlink(source.constData());
    return true;
}

FileImport importToNewFile(Source& source, const QString& target, const Progress& progress,
    const std::function<bool()>& cancelled, const Place& place)
{
    FileImport result;
    const Progress watched = [&](const QString& table, qint64 rows, bool done) {
        if (progress)
            progress(table, rows, done);
        if (cancelled && cancelled()) {
            result.cancelled = true;
            throw Cancelled();
        }
    };
    result.error = buildNewFile(
        target,
        [&](const QSqlDatabase& db) {
            try {
                result.reports = importAll(source, &db, watched);
            } catch (const ReadError&) {
                result.damaged = true;
                throw;
            }
        },
        place);
    return result;
}

} // namespace Import
