#include "db/CopyIn.h"
#include "db/Query.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <cmath>
#include <libpq-fe.h>

namespace Db {

namespace {

// Rows gathered before they go to libpq, which sends as its buffer fills.
constexpr qsizetype sendAt = 64 * 1024;

// A text in COPY's text format: backslash, tab, newline and carriage return
// escaped; every other byte as it is.
void appendText(QByteArray& line, const QByteArray& text)
{
    for (const char c : text) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
        }
    }
}

void appendValue(QByteArray& line, const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        line += "\\N";
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        line += value.toBool() ? 't' : 'f';
        return;
    case QMetaType::Int:
    case QMetaType::LongLong:
        line += QByteArray::number(value.toLongLong());
        return;
    case QMetaType::Float:
    case QMetaType::Double: {
        const double d = value.toDouble();
        if (std::isnan(d))
            line += "NaN";
        else if (std::isinf(d))
            line += d < 0 ? "-Infinity" : "Infinity";
        else
            line += QByteArray::number(d, 'g', QLocale::FloatingPointShortest);
        return;
    }
    case QMetaType::QByteArray:
        // bytea in hex, its backslash escaped as COPY wants.
        line += "\\\\x";
        line += value.toByteArray().toHex();
        return;
    default:
        appendText(line, value.toString().toUtf8());
    }
}

} // namespace

std::unique_ptr<CopyIn> CopyIn::start(
    const QSqlDatabase& db, const QString& table, const QStringList& columns, QSqlError* error)
{
    PGconn* conn = nativeHandle<PGconn>(db, "pg_conn*");
    if (!conn)
        return nullptr;
    const QByteArray sql
        = QStringLiteral("COPY %1 (%2) FROM STDIN").arg(table, columns.join(QStringLiteral(", "))).toUtf8();
    std::unique_ptr<CopyIn> copy(new CopyIn(conn));
    PGresult* result = PQexec(conn, sql.constData());
    const bool copying = PQresultStatus(result) == PGRES_COPY_IN;
    if (!copying) {
        copy->m_open = false;
        copy->m_error = QSqlError(QString(), QString::fromUtf8(PQresultErrorMessage(result)).trimmed(),
            QSqlError::StatementError, QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)));
        if (copy->m_error.databaseText().isEmpty())
            copy->m_error = copy->libpqError("COPY");
    }
    PQclear(result);
    if (!copying) {
        *error = copy->m_error;
        return nullptr;
    }
    return copy;
}

CopyIn::CopyIn(pg_conn* conn)
    : m_conn(conn)
{
}

CopyIn::~CopyIn()
{
    if (!m_open)
        return;
    PQputCopyEnd(m_conn, "abandoned");
    while (PGresult* result = PQgetResult(m_conn))
        PQclear(result);
}

bool CopyIn::add(const QVariantList& values)
{
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i)
            m_pending += '\t';
        appendValue(m_pending, values.at(i));
    }
    m_pending += '\n';
    return m_pending.size() < sendAt || send();
}

bool CopyIn::send()
{
    if (PQputCopyData(m_conn, m_pending.constData(), int(m_pending.size())) != 1) {
        m_error = libpqError("COPY");
        return false;
    }
    m_pending.clear();
    return true;
}

bool CopyIn::finish()
{
    if (!m_open)
        return false;
    m_open = false;
    if ((!m_pending.isEmpty() && !send()) || PQputCopyEnd(m_conn, nullptr) != 1) {
        if (!m_error.isValid())
            m_error = libpqError("COPY");
        while (PGresult* result = PQgetResult(m_conn))
            PQclear(result);
        return false;
    }
    while (PGresult* result = PQgetResult(m_conn)) {
        if (PQresultStatus(result) != PGRES_COMMAND_OK && !m_error.isValid()) {
            m_error = QSqlError(QString(), QString::fromUtf8(PQresultErrorMessage(result)).trimmed(),
                QSqlError::StatementError, QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)));
            // "COPY name, line 5, column …": the row the server stopped at.
            static const QRegularExpression line(QStringLiteral("\\bline (\\d+)"));
            m_refusedRow
                = line.match(QString::fromUtf8(PQresultErrorField(result, PG_DIAG_CONTEXT))).captured(1).toLongLong();
        }
        PQclear(result);
    }
    return !m_error.isValid();
}

QSqlError CopyIn::libpqError(const char* what) const
{
    return QSqlError(QString::fromLatin1(what), QString::fromUtf8(PQerrorMessage(m_conn)).trimmed(),
        QSqlError::ConnectionError);
}

} // namespace Db
