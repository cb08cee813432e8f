// kolvane-db: creates an empty suite database or a demonstration one.
#include "db/Query.h"
#include "host/Schema.h"
#include "platform/System.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QTextStream>

namespace {

const char* const usage = "用法：\n"
                          "  kolvane-db init 文件   建立空的一卡通数据库（操作员 admin，密码 admin，首次登录须修改密码）\n"
                          "  kolvane-db demo 文件   建立演示数据库（操作员、上月与本月帐套、员工、班次规则、上月排班）\n"
                          "已存在的文件不会被覆盖。\n";

int fail(const QString& message, int code)
{
    QTextStream(stderr) << "kolvane-db: " << message << '\n';
    return code;
}

// Builds the database in a temporary file beside the target and moves it into
// place only when every row is in, so a failure never leaves a half-made file.
int createFile(const QString& command, const QString& path)
{
    if (QFileInfo::exists(path))
        return fail(QStringLiteral("文件已存在，不会覆盖：%1").arg(path), 3);
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
                Schema::create(db);
                if (command == u"init")
                    Schema::addInitialOperator(db);
                else
                    Schema::fillDemo(db, Platform::today());
                Db::Query(db, QStringLiteral("COMMIT")).exec();
            } catch (const std::exception& e) {
                error = QString::fromUtf8(e.what());
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("kolvane-db"));
    if (error.isEmpty() && !QFile::rename(temp, path))
        error = QStringLiteral("无法把 %1 改名为 %2").arg(temp, path);
    if (!error.isEmpty()) {
        QFile::remove(temp);
        return fail(QStringLiteral("无法建立数据库 %1：%2").arg(path, error), 4);
    }
    QTextStream(stdout) << (command == u"init" ? "已建立空数据库：" : "已建立演示数据库：") << path << '\n';
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 1 && (args[0] == u"-h" || args[0] == u"--help")) {
        QTextStream(stdout) << QString::fromUtf8(usage);
        return 0;
    }
    if (args.size() != 2 || (args[0] != u"init" && args[0] != u"demo")) {
        QTextStream(stderr) << QString::fromUtf8(usage);
        return 2;
    }
    return createFile(args[0], args[1]);
}
