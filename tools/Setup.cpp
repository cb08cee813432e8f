#include "tools/Setup.h"

#include "db/Query.h"
#include "db/SetupStatements.h"
#include "platform/System.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlField>
#include <QSqlRecord>
#include <QTextStream>

namespace Setup {

namespace {

const QString connectionName = QStringLiteral("kolvane-db-setup");

} // namespace

bool handles(const QStringList& args)
{
    if (args.isEmpty())
        return false;
    if (args[0] == u"user" || args[0] == u"export")
        return true;
    if (args[0] != u"import")
        return false;
    // "import employees|rules|schedule"; any other import reads an Access file.
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == u"--server" || args[i] == u"--db") {
            ++i;
            continue;
        }
        if (!args[i].startsWith(u'-'))
            return args[i] == u"employees" || args[i] == u"rules" || args[i] == u"schedule";
    }
    return false;
}

int run(QStringList args)
{
    Platform::installTranslations(QLocale::system());
    const QString command = args.takeFirst();
    Mainmodule::ConnectionSettings settings;
    QString error;
    if (!Tool::takeDatabase(args, settings, error))
        return Tool::fail(error, Usage);
    if (command == u"user")
        return userCommand(settings, args);
    if (command == u"export")
        return exportCommand(settings, args);
    return importCommand(settings, args);
}

int Tool::fail(const QString& message, int code)
{
    QTextStream(stderr) << "kolvane-db: " << message << '\n';
    return code;
}

void Tool::say(const QString& message)
{
    QTextStream(stdout) << message << '\n';
}

bool Tool::takeDatabase(QStringList& args, Mainmodule::ConnectionSettings& settings, QString& error)
{
    bool chosen = false;
    for (qsizetype i = 0; i < args.size();) {
        const QString option = args.at(i);
        if (option != u"--server" && option != u"--db") {
            ++i;
            continue;
        }
        if (chosen) {
            error = tr("只能用 --server 或 --db 指定一个数据库");
            return false;
        }
        if (i + 1 >= args.size() || args.at(i + 1).isEmpty()) {
            error = tr("%1 后面缺少参数").arg(option);
            return false;
        }
        const QString value = args.at(i + 1);
        args.remove(i, 2);
        chosen = true;
        if (option == u"--db") {
            settings.driver = QStringLiteral("QSQLITE");
            settings.file = QFileInfo(value).absoluteFilePath();
            continue;
        }
        try {
            settings = Mainmodule::serverSettings(value);
        } catch (const Db::Error& e) {
            error = tr("连接参数不正确：%1").arg(Platform::messageOf(e));
            return false;
        }
    }
    if (!chosen)
        settings = Mainmodule::readConnectionSettings(Platform::suiteDirectory());
    return true;
}

int Tool::withDatabase(
    const Mainmodule::ConnectionSettings& settings, const std::function<int(const QSqlDatabase&)>& work)
{
    try {
        Mainmodule::openConnection(settings, connectionName);
    } catch (const Db::Error& e) {
        QSqlDatabase::removeDatabase(connectionName);
        return fail(Platform::messageOf(e), CannotOpen);
    }
    int code = Done;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        try {
            code = work(db);
        } catch (const std::exception& e) {
            code = fail(Platform::messageOf(e), Refused);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    return code;
}

int Tool::columnLength(const QSqlDatabase& db, const QString& table, const QString& column)
{
    if (Db::engineOf(db) != Db::Engine::SQLite) {
        const QSqlField field = db.record(Db::storedName(db, table)).field(Db::storedName(db, column));
        return field.isValid() && field.length() > 0 ? field.length() : 0;
    }
    // SQLite keeps the declared type, "VARCHAR(20)", and does not enforce it:
    // the suite's other engines would.
    static const QRegularExpression length(QStringLiteral("\\((\\d+)\\)"));
    Db::Query info(db, Db::sqlTableInfoSqlite.arg(table));
    for (const Db::Row& row : info.open().rows()) {
        if (row.text(QStringLiteral("name")).compare(column, Qt::CaseInsensitive) != 0)
            continue;
        const QRegularExpressionMatch m = length.match(row.text(QStringLiteral("type")));
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    }
    return 0;
}

QString Tool::yesNo(bool value)
{
    return value ? tr("是") : tr("否");
}

} // namespace Setup
