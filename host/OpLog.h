#pragma once
// The operations log (OpLog): one row per thing an operator did, with the
// time, the operator and the workstation.
#include <QString>

namespace OpLog {

// Writes one row on the program's connection (the sign-in writes its own, which
// must not be lost). A log entry of an import or export is a record, not a
// condition of what it records: every failure is dropped.
void write(const QString& text, const QString& user);

} // namespace OpLog
