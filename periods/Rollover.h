#pragma once
// Schedule roll-over: fills a new month's Scheme rows from the month before,
// continuing each employee's fixed shift or rotation.
//
// The engine needs no widget. The account-period dialog passes the month and
// the two dates it holds, and a progress object through which the run shows
// itself (periods/ui/Gauge.h has the dialog's). Employees whose row could not be
// written are collected in the report, and failureMessage() words them for the
// operator.
#include "db/SchemeWriter.h"
#include "host/MonthKey.h"
#include "platform/Failure.h"

#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>

namespace CycleShift {
class ShiftRules;
}

namespace Rollover {

// What the operator gave cannot start a run (a period without dates). The
// text is for the operator; nothing has been written.
class InputError : public Platform::Failure
{
public:
    using Platform::Failure::Failure;
};

// The key of the month before a stored key "yyyy-mm" (blanks around it
// ignored); empty text for anything else.
QString PrevYm(const QString& ym);
// Whether an employee is carried over into a period starting on `begin`: always
// without a leave date, otherwise when the leave date is on or after the
// period's first day.
bool carriedOver(const QDate& leaveDate, const QDateTime& begin);

// How a run shows itself. The engine calls busy() once it is going to work,
// waiting() now and then while another workstation's roll-over of the same
// month keeps it waiting, start() when it knows the number of old-month rows,
// advance() after every one of them (with the number done so far), and, once
// busy() was called, finish() exactly once on every way out, errors included.
class RolloverProgress
{
public:
    virtual ~RolloverProgress() = default;
    virtual void busy() { }
    virtual void waiting() { }
    virtual void start(int /*maximum*/) { }
    virtual void advance(int /*position*/) { }
    virtual void finish() { }
};

struct Failure
{
    QString empId;
    QString reason;
};

struct RolloverReport
{
    bool ran = false; // false: no previous month or no period for it; nothing written
    QString previousYm;
    int oldRows = 0; // old-month rows walked (the gauge's maximum)
    int carried = 0; // rows whose employee was carried over
    int written = 0; // rows stored
    QList<Failure> failures; // one per employee, in the order met
};

// One run for the new period `ym` from `begin` to `end`; nothing for no month.
// Employees whose row cannot be written are skipped and listed in the report;
// every other failure ends the run with Db::Error (rows stored so far stay).
// Throws InputError, before writing anything, for an empty date.
RolloverReport runAutoScheme(const QSqlDatabase& db, const MonthKey& ym, const QDateTime& begin, const QDateTime& end,
    RolloverProgress* progress = nullptr);

// The row an employee gets in `ym`, for the period from `begin` to `end`, when
// last month's row held `shiftId` and `start` (empty: a fixed shift). Throws
// CycleShift::Error when the rule cannot place a day or the anchor is no date.
Db::SchemeRow schemeRow(const QString& empId, const QString& shiftId, const QVariant& start, const MonthKey& ym,
    const QDate& begin, const QDate& end, const CycleShift::ShiftRules& rules);

// The text of the operator's message (flags 48) about the employees whose
// schedule could not be generated; empty when there were none. Names at most
// `listed` employees, then how many more.
QString failureMessage(const RolloverReport& report, int listed = 20);

} // namespace Rollover
