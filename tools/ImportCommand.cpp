#include "tools/ImportCommand.h"

#include "db/ImportStatements.h"
#include "db/Query.h"
#include "host/AccessFile.h"
#include "host/Connection.h"
#include "platform/System.h"
#include "import/AccessSource.h"
#include "import/Importer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextStream>
#include <optional>
#include <unistd.h>

namespace Import {

namespace {

int fail(const QString& message, int code)
{
    QTextStream(stderr) << "kolvane-db: " << message << '\n';
    return code;
}

struct Arguments
{
    QString server;
    bool hasServer = false;
    int codePage = 0;
    bool check = false;
    QString accessFile;
    QString target;
};

std::optional<Arguments> parse(const QStringList& args, QString& error)
{
    Arguments a;
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == u"--server" && i + 1 < args.size()) {
            a.server = args.at(++i);
            a.hasServer = true;
        } else if (arg == u"--code-page" && i + 1 < args.size()) {
            bool ok = false;
            a.codePage = args.at(++i).toInt(&ok);
            if (!ok || a.codePage <= 0 || a.codePage > 65535) {
                error = QCoreApplication::translate("Import", "代码页不正确：%1").arg(args.at(i));
                return std::nullopt;
            }
        } else if (arg == u"--check") {
            a.check = true;
        } else if (arg.startsWith(u'-') && arg != u"-") {
            error = QCoreApplication::translate("Import", "未知选项 %1").arg(arg);
            return std::nullopt;
        } else {
            positional << arg;
        }
    }
    if (positional.isEmpty() || positional.size() > 2 || (positional.size() == 2 && (a.hasServer || a.check))) {
        error = QCoreApplication::translate("Import",
            "用法：kolvane-db import [--server 连接参数] [--code-page 代码页] [--check] Access文件 [目标文件]");
        return std::nullopt;
    }
    a.accessFile = positional.at(0);
    a.target = positional.size() == 2 ? positional.at(1) : Platform::suiteDirectory() + QStringLiteral("Kolvane.mdb");
    return a;
}

Progress progressLine()
{
    return [](const QString& table, qint64 rows, bool done) {
        QTextStream err(stderr);
        if (done)
            err << QCoreApplication::translate("Import", "%1：已读 %2 行，完成").arg(table).arg(rows) << '\n';
        else if (rows == 0)
            err << QCoreApplication::translate("Import", "%1：正在读取……").arg(table) << '\n';
        else
            err << QCoreApplication::translate("Import", "%1：已读 %2 行").arg(table).arg(rows) << '\n';
    };
}

void printSummary(const QList<TableReport>& reports, bool written)
{
    QTextStream out(stdout);
    out << summary(reports, written);
    if (hasWarnings(reports))
        out << QCoreApplication::translate("Import", "有需要注意的地方，见上。") << '\n';
}

// Whether the file's contents have reached the disk.
bool syncToDisk(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && ::fsync(file.handle()) == 0;
}

// The database is built in a temporary file beside the target and moved into
// place only when every table is in: a failure leaves nothing behind, and an
// existing file is never overwritten.
int importIntoFile(AccessSource& source, const QString& path)
{
    if (QFileInfo::exists(path))
        return fail(QCoreApplication::translate("Import", "文件已存在，不会覆盖：%1").arg(path), 3);
    const QFileInfo dir(QFileInfo(path).absolutePath());
    if (!dir.isDir())
        return fail(QCoreApplication::translate("Import", "目录不存在：%1").arg(dir.filePath()), 4);
    if (!dir.isWritable())
        return fail(QCoreApplication::translate("Import", "没有权限在目录 %1 中建立文件").arg(dir.filePath()), 4);
    // A name of its own, made new (with the permissions the umask gives a new
    // file, as the finished database should have).
    QFile temp;
    for (int attempt = 0; attempt < 100 && !temp.isOpen(); ++attempt) {
        temp.setFileName(QDir(dir.filePath())
                             .filePath(QStringLiteral(".%1.%2.part")
                                           .arg(QFileInfo(path).fileName())
                                           .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'))));
        if (!temp.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !temp.exists())
            break;
    }
    if (!temp.isOpen())
        return fail(QCoreApplication::translate("Import", "无法在目录 %1 中建立临时文件：%2")
                        .arg(dir.filePath(), temp.errorString()),
            4);
    const QString tempPath = temp.fileName();
    temp.close();

    QString error;
    QList<TableReport> reports;
    const QString connection = QStringLiteral("kolvane-import");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(tempPath);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            try {
                for (const QString& pragma : Db::sqlImportFastBuildSqlite)
                    Db::Query(db, pragma).open();
                if (!db.transaction())
                    throw Db::errorFor(QCoreApplication::translate("Import", "无法开始事务"), db, db.lastError());
                reports = importAll(source, &db, progressLine());
                if (!db.commit())
                    throw Db::errorFor(QCoreApplication::translate("Import", "无法提交"), db, db.lastError());
            } catch (const std::exception& e) {
                error = Platform::messageOf(e);
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    if (error.isEmpty() && !syncToDisk(tempPath))
        error = QCoreApplication::translate("Import", "无法把 %1 写到磁盘").arg(tempPath);
    if (error.isEmpty())
        Platform::shareWithDirectoryGroup(tempPath);
    if (error.isEmpty() && !QFile::rename(tempPath, path))
        error = QCoreApplication::translate("Import", "无法把 %1 改名为 %2（该文件已存在或目录不可写）")
                    .arg(tempPath, path);
    if (!error.isEmpty()) {
        QFile::remove(tempPath);
        return fail(QCoreApplication::translate("Import", "导入失败，没有建立 %1：%2").arg(path, error), 4);
    }
    printSummary(reports, true);
    QTextStream(stdout) << QCoreApplication::translate("Import", "已导入到：%1").arg(path) << '\n';
    return 0;
}

// One transaction: the server undoes every table when anything fails.
int importIntoServer(AccessSource& source, const QString& connectionText)
{
    Mainmodule::ConnectionSettings settings;
    try {
        settings = Mainmodule::serverSettings(connectionText);
    } catch (const Db::Error& e) {
        return fail(QCoreApplication::translate("Import", "连接参数不正确：%1").arg(Platform::messageOf(e)), 2);
    }
    const QString connection = QStringLiteral("kolvane-import");
    try {
        Mainmodule::openConnection(settings, connection, false);
    } catch (const Db::Error& e) {
        return fail(Platform::messageOf(e), 5);
    }
    const QString where = settings.describe();
    int code = 0;
    QList<TableReport> reports;
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        try {
            const QString encoding = Db::Query(db, Db::sqlImportEncodingPg).open().text(QStringLiteral("name"));
            QStringList existing;
            Db::Query tables(db, Db::sqlImportTablesPg); // the rows read refer to it
            for (const Db::Row& row : tables.open().rows()) {
                if (!suiteTableName(row.text(QStringLiteral("name"))).isEmpty())
                    existing << row.text(QStringLiteral("name"));
            }
            if (encoding != u"UTF8") {
                code = fail(QCoreApplication::translate("Import", "数据库 %1 的字符集是 %2，一卡通系统需要 UTF8")
                                .arg(where, encoding),
                    3);
            } else if (!existing.isEmpty()) {
                code = fail(
                    QCoreApplication::translate("Import", "数据库 %1 中已经有一卡通系统的数据表（%2），不会改动。")
                        .arg(where, existing.join(QCoreApplication::translate("Import", "、"))),
                    3);
            } else {
                if (!db.transaction())
                    throw Db::errorFor(QCoreApplication::translate("Import", "无法开始事务"), db, db.lastError());
                try {
                    reports = importAll(source, &db, progressLine());
                } catch (...) {
                    db.rollback();
                    throw;
                }
                if (!db.commit()) {
                    const Db::Error e
                        = Db::errorFor(QCoreApplication::translate("Import", "无法提交"), db, db.lastError());
                    db.rollback();
                    throw e;
                }
            }
        } catch (const std::exception& e) {
            code = fail(
                QCoreApplication::translate("Import", "导入失败，%1 没有改动：%2").arg(where, Platform::messageOf(e)),
                4);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    if (code == 0) {
        printSummary(reports, true);
        QTextStream(stdout) << QCoreApplication::translate("Import", "已导入到：%1").arg(where) << '\n';
    }
    return code;
}

} // namespace

int command(const QStringList& args)
{
    Platform::installTranslations(QLocale::system());
    QString error;
    const std::optional<Arguments> a = parse(args, error);
    if (!a)
        return fail(error, 2);
    const QString lock = AccessFile::lockFileBeside(a->accessFile);
    if (!lock.isEmpty())
        QTextStream(stderr) << QCoreApplication::translate("Import",
            "警告：%1 旁边有锁定文件 %2，Access 或一卡通系统可能仍在使用它；"
            "请先关闭所有使用它的程序，否则读到的数据可能不完整。")
                                   .arg(a->accessFile, lock)
                            << '\n';
    std::optional<AccessSource> source;
    try {
        source.emplace(a->accessFile, a->codePage);
    } catch (const ReadError& e) {
        return fail(Platform::messageOf(e), 5);
    }
    if (a->codePage > 0 && !source->isJet3())
        QTextStream(stderr) << QCoreApplication::translate(
            "Import", "注意：--code-page 只用于 Access 97 文件；这个文件的文本是 Unicode，不需要代码页。")
                            << '\n';
    QString described = source->format();
    if (source->isJet3())
        described += QCoreApplication::translate("Import", "，代码页 %1").arg(source->codePage());
    QTextStream(stderr) << QCoreApplication::translate("Import", "读取 %1（%2）").arg(a->accessFile, described) << '\n';
    try {
        if (a->check) {
            printSummary(importAll(*source, nullptr, progressLine()), false);
            return 0;
        }
        return a->hasServer ? importIntoServer(*source, a->server) : importIntoFile(*source, a->target);
    } catch (const std::exception& e) {
        return fail(
            QCoreApplication::translate("Import", "无法读出 %1：%2").arg(a->accessFile, Platform::messageOf(e)), 4);
    }
}

} // namespace Import
