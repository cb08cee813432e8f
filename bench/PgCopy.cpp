#include "bench/PgCopy.h"

#include <libpq-fe.h>
#include <stdexcept>

void copyText(PGconn* conn, const QByteArray& sql, const QByteArray& data)
{
    PGresult* r = PQexec(conn, sql.constData());
    const bool copying = PQresultStatus(r) == PGRES_COPY_IN;
    PQclear(r);
    if (!copying)
        throw std::runtime_error(PQerrorMessage(conn));
    constexpr qsizetype piece = 64 * 1024;
    for (qsizetype at = 0; at < data.size(); at += piece) {
        if (PQputCopyData(conn, data.constData() + at, int(qMin(piece, data.size() - at))) != 1)
            throw std::runtime_error(PQerrorMessage(conn));
    }
    if (PQputCopyEnd(conn, nullptr) != 1)
        throw std::runtime_error(PQerrorMessage(conn));
    bool ok = true;
    while (PGresult* done = PQgetResult(conn)) {
        ok = ok && PQresultStatus(done) == PGRES_COMMAND_OK;
        PQclear(done);
    }
    if (!ok)
        throw std::runtime_error(PQerrorMessage(conn));
}
