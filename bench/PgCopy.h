#pragma once
// The floor of the server benchmarks: rows already in COPY's text format sent
// as one COPY on a libpq connection.
#include <QByteArray>

struct pg_conn;

// Runs `sql` (a COPY … FROM STDIN) and sends `data` in pieces of 64 KiB, as
// the program's own copies send it. Throws std::runtime_error.
void copyText(pg_conn* conn, const QByteArray& sql, const QByteArray& data);
