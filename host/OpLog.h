#pragma once
// The operations log (OpLog): one row per thing an operator did, with the
// time, the operator and the workstation.
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

namespace OpLog {

// One row: now, on this workstation; texts cut to the column's 255 characters.
struct Entry
{
    Entry(const QString& what, const QString& who);
    QDateTime time;
    QString text;
    QString user;
    QString computer;
};

// Writes the entry. Throws Db::Error.
void insert(const QSqlDatabase& db, const Entry& entry);
// Whether the entry is there already: a write whose answer was lost may have
// been stored. Throws Db::Error.
bool isStored(const QSqlDatabase& db, const Entry& entry);

// Writes one row on the program's connection, once more on a connection opened
// anew when the first was lost (unless the first is found stored). The
// sign-in writes its own, which must not be lost. A log entry of an import or
// export is a record, not a condition of what it records: every failure is
// dropped.
void write(const QString& text, const QString& user);

} // namespace OpLog
