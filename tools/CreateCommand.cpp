// kolvane-db init|demo: a new suite database, empty but for its first
// operator or with demonstration data, in a new SQLite file or on a server.
#include "host/Schema.h"
#include "platform/System.h"
#include "setup/Demo.h"
#include "tools/Command.h"
#include "tools/Database.h"

namespace Tool {

namespace {

class CreateCommand : public Command
{
    Q_DECLARE_TR_FUNCTIONS(Tool)
public:
    explicit CreateCommand(bool demo)
        : m_demo(demo)
    {
    }

    QString name() const override { return m_demo ? QStringLiteral("demo") : QStringLiteral("init"); }
    QString summary() const override { return m_demo ? tr("建立演示数据库") : tr("建立空的一卡通数据库"); }
    QString usage() const override;
    int run(const QStringList& args) override;

private:
    void fill(const QSqlDatabase& db) const;
    QString made(const QString& where) const
    {
        return m_demo ? tr("已建立演示数据库：%1").arg(where) : tr("已建立空数据库：%1").arg(where);
    }

    bool m_demo;
};

QString CreateCommand::usage() const
{
    return tr("用法：\n"
              "  kolvane-db %1 [文件 | --db 文件]\n"
              "  kolvane-db %1 --server 连接参数\n")
               .arg(name())
        + (m_demo ? tr("建立演示数据库：操作员、上月与本月帐套、员工、班次规则、上月排班。\n")
                  : tr("建立空的一卡通数据库：操作员 admin，密码 admin，首次登录时须修改密码。\n"))
        + tr("不写文件时，在一卡通目录中建立 Kolvane.mdb。已存在的文件不会被覆盖。\n"
             "用 --server 时，在 PostgreSQL 服务器上已有的数据库中建立一卡通数据表。该数据库须事先建立，\n"
             "字符集为 UTF8，例如：createdb -E UTF8 -T template0 -O kolvane kolvane；\n"
             "已有一卡通数据表的数据库不会被改动。建立过程出错时不留下任何东西。\n"
             "\n"
             "退出码：0 成功；2 用法错误；3 文件或数据表已存在、数据库字符集不是 UTF8；4 建立失败；\n"
             "5 无法连接服务器。\n");
}

void CreateCommand::fill(const QSqlDatabase& db) const
{
    Schema::create(db);
    if (m_demo)
        Demo::fill(db, Platform::today());
    else
        Schema::addInitialOperator(db);
}

int CreateCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    const DatabaseOptions database(parser);
    if (const std::optional<int> code = parse(parser, args))
        return *code;
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return usageError();
    const std::optional<Mainmodule::ConnectionSettings> settings = database.named(parser, files);
    if (!settings)
        return Usage;
    const Fill fill = [this](const QSqlDatabase& db) { this->fill(db); };
    if (settings->driver == u"QPSQL") {
        const int code = buildOnServer(*settings, fill, tr("无法在 %1 建立数据库：%2"));
        if (code == Done)
            say(made(settings->describe()));
        return code;
    }
    const QString path
        = settings->driver.isEmpty() ? Platform::suiteDirectory() + QStringLiteral("Kolvane.mdb") : settings->file;
    const int code = buildFile(path, fill, tr("无法建立数据库 %1：%2"));
    if (code == Done)
        say(made(path));
    return code;
}

} // namespace

std::unique_ptr<Command> makeCreateCommand(bool demo)
{
    return std::make_unique<CreateCommand>(demo);
}

} // namespace Tool
