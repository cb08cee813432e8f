#pragma once
// What an import reads: tables with their columns, keys and rows, handed over
// as plain values. The Access reader (import/AccessSource.h) is one source;
// tests hand over rows of their own.
#include "platform/Failure.h"
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <stdexcept>

namespace Import {

// The file cannot be read at all (not an Access file, encrypted, damaged), or
// a table stops in the middle. The text is for the operator.
class ReadError : public Platform::Failure
{
public:
    using Platform::Failure::Failure;
};

// The kind of value a column holds, and the QVariant it comes as.
enum class Kind
{
    Boolean, // bool
    Integer, // int (8, 16 or 32 bits in the file)
    BigInt, // qlonglong (Access 2016's Large Number)
    Currency, // QString: exact decimal, four places at most ("-12.5")
    Decimal, // QString: exact decimal with `scale` places at most
    Float, // double holding a single-precision value
    Double, // double
    DateTime, // QDateTime, the stored wall-clock time (in Qt::UTC: no zone applies)
    Text, // QString, at most `length` characters
    Memo, // QString of any length
    Binary, // QByteArray (binary, OLE objects)
    Guid, // QString "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
    Unreadable, // no value is read; `problem` says why
};

struct Column
{
    QString name;
    Kind kind = Kind::Text;
    int length = 0; // Text: characters
    int precision = 0; // Decimal
    int scale = 0; // Decimal
    QString problem; // Unreadable: what the column is ("calculated column", ...)
};

struct Index
{
    QString name;
    QStringList columns;
    bool primary = false;
};

struct Table
{
    QString name;
    QList<Column> columns;
    QList<Index> uniqueKeys; // the primary key and unique indexes
    bool keysUnreadable = false; // the file's keys could not be read whole; none are given
    qint64 catalogueRows = -1; // the row count the file states; -1: unknown
};

// A table the file only links to: its rows are kept in another Access file
// or behind an ODBC data source.
struct Link
{
    QString name; // the table's name in this file
    QString foreignName; // its name where it is kept
    QString database; // the Access file it is kept in, as the link states it
    QString connect; // the link's connection text ("ODBC;DSN=...", ";PWD=..." left out)
};

// `text` for a message: control characters (a name read from a damaged file
// may hold any) as \xNN, so that it stays one line of plain text.
QString printable(const QString& text);

class Source
{
public:
    virtual ~Source() = default;
    virtual QList<Table> tables() = 0;
    // The linked tables, whose rows are not in the file.
    virtual QList<Link> links() { return {}; }
    // Calls `row` for every row of `table`, in the file's order, with one
    // value per column (an invalid QVariant for NULL and for Unreadable
    // columns). Rows are read one at a time, never all held. Returns the number
    // of rows that could not be read (damaged). Throws ReadError.
    virtual qint64 readRows(const Table& table, const std::function<void(const QVariantList& values)>& row) = 0;
};

} // namespace Import
