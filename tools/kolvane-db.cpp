// kolvane-db: creates an empty suite database or a demonstration one, in a
// SQLite file or on a PostgreSQL server; sets up a site's operators,
// employees, shift rules and schedules (tools/Setup.h).
#include "db/Query.h"
#include "db/Statements.h"
#include "host/Connection.h"
#include "host/MonthKey.h"
#include "host/Schema.h"
#include "host/roster/Roster.h"
#include "periods/Periods.h"
#include "platform/System.h"
#include "setup/Demo.h"
#include "tools/ImportCommand.h"
#include "tools/Setup.h"
#include "host/roster/RosterSheet.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextStream>

namespace {

const char* const usage
    = "用法：\n"
      "  kolvane-db init [文件]            建立空的一卡通数据库（操作员 admin，密码 admin，首次登录须修改密码）\n"
      "  kolvane-db demo [文件]            建立演示数据库（操作员、上月与本月帐套、员工、班次规则、上月排班）\n"
      "  kolvane-db init --server 连接参数 在 PostgreSQL 服务器上的已有数据库中建立空的一卡通数据表\n"
      "  kolvane-db demo --server 连接参数 在 PostgreSQL 服务器上的已有数据库中建立演示数据\n"
      "  kolvane-db roster 文件 月份                 把该月（yyyy-mm）帐套的排班表以 CSV 写到标准输出\n"
      "  kolvane-db roster --server 连接参数 月份    同上，数据库在 PostgreSQL 服务器上\n"
      "  kolvane-db import [--code-page 代码页] [--check] Access文件 [文件]\n"
      "                                   把 Access 数据库（.mdb、.accdb）的全部数据表导入新的数据库文件\n"
      "  kolvane-db import --server 连接参数 [--code-page 代码页] Access文件\n"
      "                                   导入到 PostgreSQL 服务器上没有一卡通数据表的数据库\n"
      "     --code-page 936  Access 97 文件的代码页（默认取文件头中的；中文 Windows 为 936）\n"
      "     --check          只读取并报告，不写入\n"
      "  kolvane-db roster --xlsx 工作簿 ……          排班表写成 Excel 工作簿（班次颜色、星期、图例和每日人数）\n"
      "\n"
      "操作员（首次登录密码在终端上输入两次，不回显；不是终端时从标准输入读一行）：\n"
      "  kolvane-db user list                          列出操作员：编号、停用、须改密码、帐套权限、锁定至\n"
      "  kolvane-db user add 名称 [--id 编号] [--create-periods] [--delete-periods]\n"
      "                                                新操作员，首次登录时须修改密码\n"
      "  kolvane-db user stop|start 名称 [--force]     停用、启用操作员\n"
      "  kolvane-db user reset 名称                    新的首次登录密码\n"
      "  kolvane-db user rights 名称 [--create-periods] [--delete-periods] [--force]\n"
      "                                                新建、删除帐套的权限（未写的权限被取消）\n"
      "  kolvane-db user unlock 名称                   解除输错密码后的锁定\n"
      "员工、班次规则和排班表（CSV 文件，第一行为列名）：\n"
      "  kolvane-db export employees|rules [输出文件]  不写输出文件时写到标准输出\n"
      "  kolvane-db export schedule 月份 [输出文件]\n"
      "  kolvane-db export …… --xlsx 工作簿            写成 Excel 工作簿，而不是 CSV\n"
      "  kolvane-db import employees|rules [--dry-run] 文件\n"
      "  kolvane-db import schedule 月份 [--dry-run] 文件\n"
      "这些命令用 --server 连接参数 或 --db 文件 指定数据库；都不写时，用一卡通目录中 Tavrel.ini 所指的数据库\n"
      "（默认为其中的 Kolvane.mdb）。导入文件中有一行出错时，数据库不做任何改动。\n"
      "\n"
      "连接参数的写法与 libpq 相同，例如：\n"
      "  \"host=127.0.0.1 port=5432 dbname=kolvane user=kolvane password=...\"\n"
      "未写的参数取 libpq 的默认值和环境变量（PGHOST、PGPORT……），未写密码时使用口令文件 ~/.pgpass。\n"
      "数据库须事先建立，字符集为 UTF8，例如：createdb -E UTF8 -T template0 -O kolvane kolvane\n"
      "\n"
      "不写文件名时，在一卡通目录中建立 Kolvane.mdb：环境变量 KOLVANE_HOME 所指的目录，\n"
      "未设置时为安装时确定的目录（软件包：/var/lib/kolvane）或本程序所在的目录。\n"
      "\n"
      "已存在的文件不会被覆盖；已有一卡通数据表的数据库也不会被改动。\n"
      "建立过程出错时不留下任何东西。\n"
      "\n"
      "退出码：0 成功；2 用法错误；3 文件或数据表已存在、数据库字符集不是 UTF8；4 建立失败；5 无法连接服务器。\n"
      "roster 的退出码：0 成功；2 用法错误；4 没有该月的帐套或读取失败；5 无法打开数据库。\n"
      "import（Access 文件）的退出码：0 成功；2 用法错误；3 目标已存在或已有一卡通数据表；4 读取或写入失败；\n"
      "  5 无法打开 Access 文件或连接服务器。\n"
      "user、export 及 import employees|rules|schedule 的退出码：0 成功；2 用法错误；4 被拒绝或失败；5 "
      "无法打开数据库；\n"
      "6 导入文件无法读取或有错误的行。\n";

int fail(const QString& message, int code)
{
    QTextStream(stderr) << "kolvane-db: " << message << '\n';
    return code;
}

void fill(const QSqlDatabase& db, const QString& command)
{
    Schema::create(db);
    if (command == u"init") {
        Schema::addInitialOperator(db);
    } else {
        Demo::fill(db, Platform::today());
    }
}

// Builds the database in a temporary file beside the target and moves it into
// place only when every row is in, so a failure never leaves a half-made file.
int createFile(const QString& command, const QString& path)
{
    if (QFileInfo::exists(path))
        return fail(QStringLiteral("文件已存在，不会覆盖：%1").arg(path), 3);
    const QFileInfo dir(QFileInfo(path).absolutePath());
    if (!dir.isDir())
        return fail(QStringLiteral("目录不存在：%1").arg(dir.filePath()), 4);
    if (!dir.isWritable())
        return fail(QStringLiteral("没有权限在目录 %1 中建立文件。该目录属于 kolvane 组时，请管理员把您加入该组"
                                   "（adduser 用户名 kolvane），重新登录后再试。")
                        .arg(dir.filePath()),
            4);
    const QString temp = path + QStringLiteral(".part");
    QFile::remove(temp);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("kolvane-db"));
        db.setDatabaseName(temp);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            try {
                Db::Query(db, QStringLiteral("BEGIN")).exec();
                fill(db, command);
                Db::Query(db, QStringLiteral("COMMIT")).exec();
            } catch (const std::exception& e) {
                error = Platform::messageOf(e);
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("kolvane-db"));
    if (error.isEmpty())
        Platform::shareWithDirectoryGroup(temp);
    if (error.isEmpty() && !QFile::rename(temp, path))
        error = QStringLiteral("无法把 %1 改名为 %2").arg(temp, path);
    if (!error.isEmpty()) {
        QFile::remove(temp);
        return fail(QStringLiteral("无法建立数据库 %1：%2").arg(path, error), 4);
    }
    QTextStream(stdout) << (command == u"init" ? "已建立空数据库：" : "已建立演示数据库：") << path << '\n';
    return 0;
}

// The suite's tables in the schemas the connection searches, by lower-case name.
QStringList suiteTablesIn(const QSqlDatabase& db)
{
    Db::Query q(db, Db::sqlSuiteTableNamesPg);
    QStringList names;
    for (const Db::Row& row : q.open().rows())
        names << row.text(QStringLiteral("table_name"));
    return names;
}

// Creates every table and row in one transaction: PostgreSQL undoes the
// new tables too when anything fails.
int createOnServer(const QString& command, const QString& connectionText)
{
    Mainmodule::ConnectionSettings settings;
    try {
        settings = Mainmodule::serverSettings(connectionText);
    } catch (const Db::Error& error) {
        return fail(QStringLiteral("连接参数不正确：%1").arg(Platform::messageOf(error)), 2);
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return fail(QStringLiteral("缺少 PostgreSQL 数据库驱动（Qt 的 QPSQL，Debian 软件包 libqt6sql6-psql）"), 5);
    const QString connection = QStringLiteral("kolvane-db");
    try {
        Mainmodule::openConnection(settings, connection, false);
    } catch (const Db::Error& error) {
        return fail(Platform::messageOf(error), 5);
    }

    const QString where = settings.describe();
    int code = 0;
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        try {
            Db::Query encoding(db, Db::sqlDatabaseEncodingPg);
            const QString name = encoding.open().text(QStringLiteral("name"));
            const QStringList existing = suiteTablesIn(db);
            if (name != u"UTF8") {
                code = fail(QStringLiteral("数据库 %1 的字符集是 %2，一卡通系统需要 UTF8。请这样建立数据库：\n"
                                           "  createdb -E UTF8 -T template0 数据库名")
                                .arg(where, name),
                    3);
            } else if (!existing.isEmpty()) {
                code = fail(QStringLiteral("数据库 %1 中已经有一卡通系统的数据表（%2），不会改动。")
                                .arg(where, existing.join(QStringLiteral("、"))),
                    3);
            } else {
                if (!db.transaction())
                    throw Db::errorFor(QStringLiteral("无法开始事务"), db, db.lastError());
                try {
                    fill(db, command);
                } catch (...) {
                    db.rollback();
                    throw;
                }
                if (!db.commit()) {
                    const Db::Error e = Db::errorFor(QStringLiteral("无法提交"), db, db.lastError());
                    db.rollback();
                    throw e;
                }
            }
        } catch (const std::exception& e) {
            code = fail(QStringLiteral("无法在 %1 建立数据库：%2").arg(where, Platform::messageOf(e)), 4);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    if (code == 0)
        QTextStream(stdout) << (command == u"init" ? "已建立空数据库：" : "已建立演示数据库：") << where << '\n';
    return code;
}

void writeCsv(const Roster::Month& month)
{
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        throw Platform::Failure(QStringLiteral("无法写标准输出"));
    month.writeCsv(out);
    if (!out.flush())
        throw Platform::Failure(out.errorString());
}

// The month's roster as CSV on standard output, as the main window exports
// it, or as a workbook.
int writeRoster(const Mainmodule::ConnectionSettings& settings, const QString& ym, const QString& workbook)
{
    const QString connection = QStringLiteral("kolvane-db");
    try {
        Mainmodule::openConnection(settings, connection);
    } catch (const Db::Error& error) {
        return fail(Platform::messageOf(error), 5);
    }
    int code = 0;
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        try {
            if (!Periods::exists(db, ym)) {
                code = fail(QStringLiteral("没有 %1 的帐套").arg(ym), 4);
            } else {
                const Roster::Month month = Roster::Month::read(db, ym);
                if (!workbook.isEmpty())
                    Workbook::Writer::writeRoster(workbook, Roster::sheet(month));
                else
                    writeCsv(month);
            }
        } catch (const std::exception& e) {
            code = fail(QStringLiteral("无法读出 %1 的排班表：%2").arg(ym, Platform::messageOf(e)), 4);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.size() == 1 && (args[0] == u"-h" || args[0] == u"--help")) {
        QTextStream(stdout) << QString::fromUtf8(usage);
        return 0;
    }
    if (Setup::handles(args))
        return Setup::run(args);
    QString workbook;
    if (!args.isEmpty() && args[0] == u"roster") {
        // "--db FILE" as the set-up commands take it, or the file alone.
        if (const qsizetype at = args.indexOf(QStringLiteral("--db")); at > 0 && at + 1 < args.size())
            args.removeAt(at);
        if (const qsizetype at = args.indexOf(QStringLiteral("--xlsx")); at > 0) {
            workbook = args.value(at + 1);
            args.remove(at, qMin<qsizetype>(2, args.size() - at));
            if (workbook.isEmpty() || workbook.startsWith(u'-')) {
                QTextStream(stderr) << QString::fromUtf8(usage);
                return 2;
            }
        }
    }
    if (!args.isEmpty() && args[0] == u"roster" && (args.size() == 3 || (args.size() == 4 && args[1] == u"--server"))
        && !args[1].isEmpty() && !args.back().startsWith(u'-')) {
        Mainmodule::ConnectionSettings settings;
        try {
            if (args.size() == 4) {
                settings = Mainmodule::serverSettings(args[2]);
            } else if (args[1].startsWith(u'-')) {
                throw Db::Error(QStringLiteral("未知选项 %1").arg(args[1]));
            } else {
                settings.driver = QStringLiteral("QSQLITE");
                settings.file = QFileInfo(args[1]).absoluteFilePath();
            }
        } catch (const Db::Error& error) {
            return fail(QStringLiteral("连接参数不正确：%1").arg(Platform::messageOf(error)), 2);
        }
        const std::optional<MonthKey> month = MonthKey::parse(args.back());
        if (!month)
            return fail(QStringLiteral("月份不正确：%1（应为 yyyy-mm）").arg(args.back()), 2);
        return writeRoster(settings, month->text(), workbook);
    }
    if (!args.isEmpty() && args[0] == u"import")
        return Import::command(args.mid(1));
    const bool command = !args.isEmpty() && (args[0] == u"init" || args[0] == u"demo");
    if (command && args.size() == 3 && args[1] == u"--server")
        return createOnServer(args[0], args[2]);
    if (!command || args.size() > 2 || (args.size() == 2 && args[1].startsWith(u'-'))) {
        QTextStream(stderr) << QString::fromUtf8(usage);
        return 2;
    }
    return createFile(args[0], args.size() == 2 ? args[1] : Platform::suiteDirectory() + QStringLiteral("Kolvane.mdb"));
}
