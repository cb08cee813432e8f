#pragma once
// Schedule roll-over: fills a new month's Scheme rows from the month before,
// continuing each employee's fixed shift or rotation.
//
// The engine needs no widget. The account-period dialog passes the month text
// and the two dates it holds, and a progress object through which the engine
// shows the wait cursor and the gauge; GaugeProgress is that object for a
// QProgressBar. Employees whose row could not be written are collected in the
// report, and failureMessage() words them for the operator.
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QPointer>
#include <QSqlDatabase>
#include <QString>
#include <stdexcept>

class QProgressBar;

namespace Rollover {

// What the operator gave cannot start a run (month text, empty dates). The
// text is for the operator; nothing has been written.
class InputError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The month before a "yyyy-mm" key (blanks around it ignored); empty text for
// an empty key, a key that is not 7 characters long, has no "-", or names no
// valid month.
QString PrevYm(const QString& ym);
// Whether Accounts holds a period with that key. Throws Db::Error.
bool PrevAccountExists(const QSqlDatabase& db, const QString& ym);
// Whether an employee is carried over into a period starting on `begin`: always
// without a leave date, otherwise when the leave date is on or after the
// period's first day.
bool carriedOver(const QDate& leaveDate, const QDateTime& begin);

// How a run shows itself. The engine calls busy() once it is going to work,
// start() when it knows the number of old-month rows, advance() after every
// one of them (with the number done so far), and, once busy() was called,
// finish() exactly once on every way out, errors included.
class RolloverProgress
{
public:
    virtual ~RolloverProgress() = default;
    virtual void busy() { }
    virtual void start(int /*maximum*/) { }
    virtual void advance(int /*position*/) { }
    virtual void finish() { }
};

// The dialog's side: wait cursor while busy; the gauge shown at start, its
// value following every row, repainted at most every `repaintMs` milliseconds
// (and on the last row); hidden and the default cursor back at finish.
class GaugeProgress : public RolloverProgress
{
public:
    explicit GaugeProgress(QProgressBar* gauge, int repaintMs = 50);
    ~GaugeProgress() override; // finishes a run left busy
    void busy() override;
    void start(int maximum) override;
    void advance(int position) override;
    void finish() override;

    int repaints() const { return m_repaints; }

private:
    void repaintGauge();

    QPointer<QProgressBar> m_gauge;
    int m_repaintMs;
    bool m_busy = false;
    int m_repaints = 0;
    QElapsedTimer m_sinceRepaint;
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

// One run for the new period `ymText` (as the dialog holds it; stored as is in
// YM) from `begin` to `end`. Employees whose row cannot be written are skipped
// and listed in the report; every other failure ends the run with Db::Error
// (rows stored so far stay). Throws InputError, before writing anything, for a
// month text that names no month or an empty date.
RolloverReport runAutoScheme(const QSqlDatabase& db, const QString& ymText, const QDateTime& begin,
    const QDateTime& end, RolloverProgress* progress = nullptr);

// The text of the operator's message (flags 48) about the employees whose
// schedule could not be generated; empty when there were none. Names at most
// `listed` employees, then how many more.
QString failureMessage(const RolloverReport& report, int listed = 20);

} // namespace Rollover
