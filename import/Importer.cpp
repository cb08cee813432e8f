#include "import/Importer.h"
#include "platform/Failure.h"

#include "db/CopyIn.h"
#include "db/ImportStatements.h"
#include "db/Query.h"
#include "db/Statements.h"
#include "host/Schema.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cmath>
#include <optional>

namespace Import {

namespace {

const QStringList& suiteTables()
{
    static const QStringList names { Db::tUsers, Db::tAccounts, Db::tScheme, Db::tEmployee, Db::tShiftsRule,
        Db::tOpLog };
    return names;
}

QString typeFor(const Column& c, bool pg)
{
    const Db::ImportTypes& t = pg ? Db::importTypesPg : Db::importTypesSqlite;
    switch (c.kind) {
    case Kind::Boolean:
        return QString::fromUtf16(t.boolean);
    case Kind::Integer:
        return QString::fromUtf16(t.integer);
    case Kind::BigInt:
        // SQLite's INTEGER holds 64 bits.
        return pg ? QStringLiteral("BIGINT") : QString::fromUtf16(t.integer);
    case Kind::Currency:
        return QString::fromUtf16(t.currency);
    case Kind::Decimal: {
        const int precision = qBound(1, c.precision, 1000);
        const QString type = QString::fromUtf16(t.decimal);
        return type.contains(u'%') ? type.arg(precision).arg(qBound(0, c.scale, precision)) : type;
    }
    case Kind::Float:
        return QString::fromUtf16(t.single);
    case Kind::Double:
        return QString::fromUtf16(t.doubleType);
    case Kind::DateTime:
        return QString::fromUtf16(t.dateTime);
    case Kind::Text:
        return c.length > 0 ? QString::fromUtf16(t.text).arg(c.length) : QString::fromUtf16(t.memo);
    case Kind::Guid:
        return QString::fromUtf16(t.text).arg(38);
    case Kind::Memo:
    case Kind::Unreadable:
        return QString::fromUtf16(t.memo);
    case Kind::Binary:
        return QString::fromUtf16(t.binary);
    }
    return QString::fromUtf16(t.memo);
}

// What a target column takes, where it differs from the value read.
enum class Target
{
    AsRead,
    Text,
    Integer,
    Boolean,
};

Target targetOf(QMetaType type)
{
    switch (type.id()) {
    case QMetaType::QString:
        return Target::Text;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return Target::Integer;
    case QMetaType::Bool:
        return Target::Boolean;
    default:
        return Target::AsRead;
    }
}

QVariant bindable(const QVariant& value, Target target)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::QDateTime: {
        // As both engines take it into a date-time or a text column; the
        // milliseconds only where there are any.
        const QDateTime dateTime = value.toDateTime();
        const int ms = dateTime.time().msec();
        return ms ? Db::dateTimeText(dateTime) + QStringLiteral(".%1").arg(ms, 3, 10, QLatin1Char('0'))
                  : Db::dateTimeText(dateTime);
    }
    case QMetaType::Bool:
        if (target == Target::Text)
            return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        return target == Target::Boolean ? value : QVariant(value.toBool() ? 1 : 0);
    case QMetaType::Double:
        return target == Target::Text ? QVariant(QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest))
                                      : value;
    case QMetaType::Int:
    case QMetaType::LongLong:
        return target == Target::Text ? QVariant(value.toString()) : value;
    // Qt binds a null string or byte array as NULL: empty text and empty
    // bytes stay what they are.
    case QMetaType::QString:
        return value.toString().isNull() ? QVariant(QStringLiteral("")) : value;
    case QMetaType::QByteArray:
        return value.toByteArray().isNull() ? QVariant(QByteArray("", 0)) : value;
    default:
        return value;
    }
}

void run(const QSqlDatabase& db, const QString& sql)
{
    Db::Query(db, sql).exec();
}

// The rows of a suite table break one of the schema's keys (a duplicate, or
// NULL where the schema wants a value).
class KeyBroken : public Platform::Failure
{
public:
    using Platform::Failure::Failure;
};

bool breaksKey(const QSqlError& error)
{
    const QString code = error.nativeErrorCode();
    return Db::isDuplicateKey(error) || code == u"23502" || code == u"1299"
        || (code == u"19" && error.databaseText().contains(u"NOT NULL", Qt::CaseInsensitive));
}

// Takes the keys and NOT NULLs off a table the suite's schema made.
void dropSuiteKeys(const QSqlDatabase& db, const QString& table)
{
    if (Db::engineOf(db) == Db::Engine::PostgreSQL) {
        const QString stored = Db::storedName(db, table);
        Db::Query constraints(db, Db::sqlImportKeyConstraintsPg);
        constraints.bind(QStringLiteral(":table"), stored);
        for (const Db::Row& row : constraints.open().rows())
            run(db, Db::sqlImportDropConstraintPg.arg(table, Db::quotedIdentifier(row.text(QStringLiteral("name")))));
        Db::Query notNull(db, Db::sqlImportNotNullColumnsPg);
        notNull.bind(QStringLiteral(":table"), stored);
        for (const Db::Row& row : notNull.open().rows())
            run(db, Db::sqlImportDropNotNullPg.arg(table, Db::quotedIdentifier(row.text(QStringLiteral("name")))));
        return;
    }
    QStringList columns;
    Db::Query info(db, Db::sqlImportColumnsSqlite.arg(Db::quotedIdentifier(table)));
    for (const Db::Row& row : info.open().rows()) {
        QString column
            = Db::quotedIdentifier(row.text(QStringLiteral("name"))) + u' ' + row.text(QStringLiteral("type"));
        if (!row.value(QStringLiteral("dflt_value")).isNull())
            column += QStringLiteral(" DEFAULT ") + row.text(QStringLiteral("dflt_value"));
        columns << column;
    }
    Db::Query indexes(db, Db::sqlImportIndexesSqlite);
    indexes.bind(QStringLiteral(":table"), table);
    QStringList indexSql;
    for (const Db::Row& row : indexes.open().rows()) {
        if (!row.text(QStringLiteral("sql")).contains(u"UNIQUE", Qt::CaseInsensitive))
            indexSql << row.text(QStringLiteral("sql"));
    }
    const QString keyed = Db::quotedIdentifier(table + QStringLiteral("_keyed"));
    run(db, Db::sqlImportRenameTable.arg(Db::quotedIdentifier(table), keyed));
    run(db, Db::sqlImportCreateTable.arg(Db::quotedIdentifier(table), columns.join(QStringLiteral(", "))));
    run(db, Db::sqlImportDropTable.arg(keyed));
    for (const QString& sql : indexSql)
        run(db, sql);
}

QString keyText(const Index& key)
{
    const QString columns = key.columns.join(QStringLiteral(", "));
    return key.primary ? QCoreApplication::translate("Import", "主键 (%1)").arg(columns)
                       : QCoreApplication::translate("Import", "唯一索引 %1 (%2)").arg(key.name, columns);
}

// The table's keys, each added after its rows are in; a key the rows break (or
// that names a column not imported) is left out, and the report says so.
void addKeys(const QSqlDatabase& db, bool pg, const Table& table, const QStringList& imported, TableReport& report)
{
    int number = 0;
    for (const Index& key : table.uniqueKeys) {
        ++number;
        QStringList columns;
        QString missing;
        for (const QString& c : key.columns) {
            if (!imported.contains(c))
                missing = c;
            columns << Db::quotedIdentifier(Db::storedName(db, c));
        }
        if (!missing.isEmpty()) {
            report.droppedKeys << QCoreApplication::translate("Import", "%1：列 %2 未导入").arg(keyText(key), missing);
            continue;
        }
        const QString tableName = Db::quotedIdentifier(report.target);
        const QString indexName = Db::quotedIdentifier(Db::storedName(
            db, report.target + (key.primary ? QStringLiteral("_pkey") : QStringLiteral("_key%1").arg(number))));
        const QString sql = key.primary && pg ? Db::sqlImportPrimaryKeyPg.arg(tableName, columns.join(u','))
                                              : Db::sqlImportUniqueIndex.arg(indexName, tableName, columns.join(u','));
        run(db, Db::sqlSavepoint);
        try {
            run(db, sql);
            run(db, Db::sqlReleaseSavepoint);
            report.keptKeys << keyText(key);
        } catch (const Db::Error&) {
            run(db, Db::sqlRollbackToSavepoint);
            run(db, Db::sqlReleaseSavepoint);
            report.droppedKeys << QCoreApplication::translate("Import", "%1：有重复的值或空值").arg(keyText(key));
        }
    }
}

class TableWriter
{
public:
    TableWriter(const QSqlDatabase& db, const Table& table, TableReport& report)
        : m_db(db)
        , m_pg(Db::engineOf(db) == Db::Engine::PostgreSQL)
        , m_table(table)
        , m_report(report)
    {
        const QString suite = suiteTableName(table.name);
        QStringList names;
        QStringList definitions;
        if (!suite.isEmpty()) {
            // Into the suite's table: its columns take the values in their
            // own types; columns the suite does not know are added.
            m_report.target = suite;
            const QSqlRecord record = db.record(Db::storedName(db, suite));
            for (int i = 0; i < table.columns.size(); ++i) {
                const Column& c = table.columns.at(i);
                if (c.kind == Kind::Unreadable)
                    continue;
                const int field = record.indexOf(c.name);
                if (field < 0) {
                    run(db,
                        Db::sqlImportAddColumn.arg(
                            suite, Db::quotedIdentifier(Db::storedName(db, c.name)), typeFor(c, m_pg)));
                    m_targets << (c.kind == Kind::Boolean ? Target::Boolean : Target::AsRead);
                    names << Db::quotedIdentifier(Db::storedName(db, c.name));
                } else {
                    m_targets << targetOf(record.field(field).metaType());
                    names << Db::quotedIdentifier(record.fieldName(field));
                }
                m_sources << i;
                m_imported << c.name;
            }
        } else {
            m_report.target = Db::storedName(db, table.name);
            for (int i = 0; i < table.columns.size(); ++i) {
                const Column& c = table.columns.at(i);
                if (c.kind == Kind::Unreadable)
                    continue;
                names << Db::quotedIdentifier(Db::storedName(db, c.name));
                definitions << names.back() + u' ' + typeFor(c, m_pg);
                m_targets << (c.kind == Kind::Boolean ? Target::Boolean : Target::AsRead);
                m_sources << i;
                m_imported << c.name;
            }
            if (definitions.isEmpty())
                throw Db::Error(QCoreApplication::translate("Import", "表 %1 中没有能读出的列").arg(table.name));
            run(db, Db::sqlImportCreateTable.arg(Db::quotedIdentifier(m_report.target), definitions.join(u", ")));
        }
        const QString tableName = suite.isEmpty() ? Db::quotedIdentifier(m_report.target) : suite;
        // A server takes the rows in one COPY: a round trip for the table, not for each row.
        QSqlError error;
        m_copy = Db::CopyIn::start(db, tableName, names, &error);
        if (error.isValid())
            throw Db::errorFor(QCoreApplication::translate("Import", "无法写入表 %1").arg(m_report.target), db, error);
        if (m_copy)
            return;
        m_insert.emplace(db);
        if (!m_insert->prepare(Db::sqlImportInsert.arg(
                tableName, names.join(u','), QStringList(names.size(), QStringLiteral("?")).join(u','))))
            throw Db::errorFor(
                QCoreApplication::translate("Import", "无法写入表 %1").arg(m_report.target), db, m_insert->lastError());
    }

    void write(const QVariantList& values)
    {
        if (m_copy) {
            m_row.clear();
            for (int i = 0; i < m_sources.size(); ++i)
                m_row << copyable(bindable(values.at(m_sources.at(i)), m_targets.at(i)), m_targets.at(i));
            if (!m_copy->add(m_row))
                refused(m_copy->lastError(), m_report.read);
            ++m_report.written;
            return;
        }
        for (int i = 0; i < m_sources.size(); ++i)
            m_insert->bindValue(i, bindable(values.at(m_sources.at(i)), m_targets.at(i)));
        if (!m_insert->exec())
            refused(m_insert->lastError(), m_report.read);
        ++m_report.written;
    }

    void finish()
    {
        if (m_copy && !m_copy->finish())
            refused(m_copy->lastError(), m_copy->refusedRow());
        m_copy.reset();
        m_insert.reset();
        if (m_report.target == Db::tOpLog && m_pg)
            Db::Query(m_db, Db::sqlImportOpLogSerialPg).open();
        if (suiteTableName(m_table.name).isEmpty())
            addKeys(m_db, m_pg, m_table, m_imported, m_report);
        else if (m_report.droppedKeys.isEmpty())
            m_report.keptKeys << QCoreApplication::translate("Import", "一卡通系统的键");
    }

private:
    // The server turns a number into an integer column's type by rounding, as
    // Qt's statements send it; COPY takes a text, which it would refuse.
    static QVariant copyable(const QVariant& value, Target target)
    {
        if (target == Target::Integer && value.typeId() == QMetaType::Double && std::isfinite(value.toDouble()))
            return QVariant(qint64(std::rint(value.toDouble())));
        return value;
    }

    // The database refused row `row` of the table (0: a row it does not name).
    [[noreturn]] void refused(const QSqlError& error, qint64 row)
    {
        if (!suiteTableName(m_table.name).isEmpty() && breaksKey(error))
            throw KeyBroken(error.text().trimmed());
        const QString failed = row > 0 ? QCoreApplication::translate("Import", "无法把表 %1 的第 %2 行写入 %3")
                                             .arg(m_table.name)
                                             .arg(row)
                                             .arg(m_report.target)
                                       : QCoreApplication::translate("Import", "无法把表 %1 写入 %2")
                                             .arg(m_table.name, m_report.target);
        throw Db::errorFor(failed, m_db, error);
    }

    QSqlDatabase m_db;
    bool m_pg;
    const Table& m_table;
    TableReport& m_report;
    std::unique_ptr<Db::CopyIn> m_copy;
    QVariantList m_row; // the values of a row for the copy
    std::optional<QSqlQuery> m_insert;
    QList<int> m_sources; // for each column written, its place in the row read
    QList<Target> m_targets;
    QStringList m_imported;
};

void readTable(
    Source& source, const Table& table, const QSqlDatabase* target, const Progress& progress, TableReport& report)
{
    std::optional<TableWriter> writer;
    try {
        if (target)
            writer.emplace(*target, table, report);
    } catch (const Db::Error& e) {
        // The statement, with the file's names in it, is no message: its
        // first line is.
        throw Db::Error(printable(Platform::messageOf(e).section(u'\n', 0, 0)), e.kind());
    }
    if (progress)
        progress(table.name, 0, false);
    report.damaged = source.readRows(table, [&](const QVariantList& values) {
        ++report.read;
        if (writer)
            writer->write(values);
        if (progress && report.read % kProgressRows == 0)
            progress(table.name, report.read, false);
    });
    if (writer)
        writer->finish();
    if (progress)
        progress(table.name, report.read, true);
}

} // namespace

QString suiteTableName(const QString& name)
{
    for (const QString& suite : suiteTables()) {
        if (name.compare(suite, Qt::CaseInsensitive) == 0)
            return suite;
    }
    return {};
}

QList<TableReport> importAll(Source& source, const QSqlDatabase* target, const Progress& progress)
{
    const QList<Table> tables = source.tables();
    if (target) {
        for (const Table& table : tables) {
            if (!suiteTableName(table.name).isEmpty()) {
                Schema::create(*target);
                break;
            }
        }
    }
    QList<TableReport> reports;
    for (const Table& table : tables) {
        TableReport report;
        report.source = table.name;
        report.target = table.name;
        report.catalogue = table.catalogueRows;
        report.suiteTable = !suiteTableName(table.name).isEmpty();
        if (table.keysUnreadable && !report.suiteTable)
            report.droppedKeys << QCoreApplication::translate(
                "Import", "主键和唯一索引：文件中的定义无法完整读出，没有建立");
        for (const Column& c : table.columns) {
            if (c.kind == Kind::Unreadable)
                report.unreadable << QCoreApplication::translate("Import", "%1（%2）").arg(printable(c.name), c.problem);
        }
        if (report.suiteTable && target) {
            // Rows that break the schema's keys: the table again, without them.
            run(*target, Db::sqlSavepoint);
            try {
                readTable(source, table, target, progress, report);
                run(*target, Db::sqlReleaseSavepoint);
            } catch (const KeyBroken& e) {
                run(*target, Db::sqlRollbackToSavepoint);
                run(*target, Db::sqlReleaseSavepoint);
                dropSuiteKeys(*target, suiteTableName(table.name));
                report.read = report.written = 0;
                report.droppedKeys
                    << QCoreApplication::translate("Import", "一卡通系统的键：%1").arg(Platform::messageOf(e));
                readTable(source, table, target, progress, report);
            }
        } else {
            readTable(source, table, target, progress, report);
        }
        reports << report;
    }
    for (const Link& link : source.links()) {
        TableReport report;
        report.source = link.name;
        report.linkedTo = !link.database.isEmpty() ? link.database
            : !link.connect.isEmpty()                ? link.connect
                                                     : QCoreApplication::translate("Import", "未记载的位置");
        if (!link.foreignName.isEmpty() && link.foreignName != link.name)
            report.linkedTo += QCoreApplication::translate("Import", "（表 %1）").arg(link.foreignName);
        reports << report;
    }
    return reports;
}

QString summary(const QList<TableReport>& reports, bool written)
{
    QString text;
    for (const TableReport& r : reports) {
        if (!r.linkedTo.isEmpty()) {
            text += printable(QCoreApplication::translate("Import", "表 %1：链接表，数据在 %2，没有导入")
                                  .arg(r.source, r.linkedTo))
                + u'\n'
                + QCoreApplication::translate(
                    "Import", "  请导入数据所在的 Access 文件本身（或在 Access 中把它转换为本地表后再导入）")
                + u'\n';
            continue;
        }
        const QString catalogue
            = r.catalogue < 0 ? QCoreApplication::translate("Import", "未知") : QString::number(r.catalogue);
        if (written)
            text += QCoreApplication::translate("Import", "表 %1 → %2：读出 %3 行，写入 %4 行，目录记载 %5 行")
                        .arg(printable(r.source), printable(r.target))
                        .arg(r.read)
                        .arg(r.written)
                        .arg(catalogue);
        else
            text += QCoreApplication::translate("Import", "表 %1：读出 %2 行，目录记载 %3 行")
                        .arg(printable(r.source))
                        .arg(r.read)
                        .arg(catalogue);
        text += u'\n';
        if (r.catalogue >= 0 && r.catalogue != r.read)
            text += QCoreApplication::translate("Import", "  注意：读出的行数与目录记载的不符") + u'\n';
        if (r.damaged > 0)
            text += QCoreApplication::translate("Import", "  损坏而无法读出的行：%1").arg(r.damaged) + u'\n';
        if (written && !r.keptKeys.isEmpty())
            text += QCoreApplication::translate("Import", "  保留的键：%1")
                        .arg(printable(r.keptKeys.join(QCoreApplication::translate("Import", "；"))))
                + u'\n';
        if (!r.droppedKeys.isEmpty())
            text += QCoreApplication::translate("Import", "  舍弃的键：%1")
                        .arg(printable(r.droppedKeys.join(QCoreApplication::translate("Import", "；"))))
                + u'\n';
        if (!r.unreadable.isEmpty())
            text += QCoreApplication::translate("Import", "  无法如实读出、未导入的列：%1")
                        .arg(r.unreadable.join(QCoreApplication::translate("Import", "、")))
                + u'\n';
    }
    return text;
}

bool onlyLinks(const QList<TableReport>& reports)
{
    return !reports.isEmpty()
        && std::all_of(reports.cbegin(), reports.cend(), [](const TableReport& r) { return !r.linkedTo.isEmpty(); });
}

bool hasWarnings(const QList<TableReport>& reports)
{
    for (const TableReport& r : reports) {
        if ((r.catalogue >= 0 && r.catalogue != r.read) || r.damaged > 0 || !r.droppedKeys.isEmpty() || !r.linkedTo.isEmpty()
            || !r.unreadable.isEmpty())
            return true;
    }
    return false;
}

} // namespace Import
