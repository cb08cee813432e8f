#include "tools/Command.h"

#include "tools/Database.h"

#include <QTextStream>

namespace Tool {

std::optional<int> Command::parse(QCommandLineParser& parser, const QStringList& args) const
{
    // "-db" as "--db": the options have long names only.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") }, QString());
    parser.addOption(help);
    if (!parser.parse(QStringList { QStringLiteral("kolvane-db") } + args)) {
        if (const QStringList names = parser.unknownOptionNames(); !names.isEmpty()) {
            const QString single = QStringLiteral("-") + names.first();
            return usageError(tr("未知选项 %1").arg(args.contains(single) ? single : QStringLiteral("-") + single));
        }
        // An option that takes a value, last.
        if (!args.isEmpty() && args.last().startsWith(u'-'))
            return usageError(tr("%1 后面缺少参数").arg(args.last()));
        return usageError();
    }
    if (parser.isSet(help)) {
        QTextStream(stdout) << usage();
        return Done;
    }
    return std::nullopt;
}

int Command::usageError(const QString& message) const
{
    QTextStream err(stderr);
    if (!message.isEmpty())
        err << "kolvane-db: " << message << '\n';
    err << usage();
    return Usage;
}

QString Command::unknown(const QCommandLineOption& option)
{
    return tr("未知选项 %1").arg(QStringLiteral("--") + option.names().first());
}

std::optional<MonthKey> Command::month(const QString& text)
{
    const std::optional<MonthKey> month = MonthKey::parse(text);
    if (!month)
        fail(tr("月份不正确：%1（应为 yyyy-mm）").arg(text), Usage);
    return month;
}

} // namespace Tool
