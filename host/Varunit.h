#pragma once
// Sign-in results shared with the main window and the rest of the suite.
#include <QDateTime>
#include <QString>

namespace Varunit {

struct TAccount
{
    QString Ym;        // period key "yyyy-mm"
    QString Name;      // period name
    QDateTime BegDate; // first day
    QDateTime EndDate; // last day
};

extern TAccount Account;
extern QString User_name;
extern QString User_id;
extern QString pwd;
extern QString UserName; // the verified operator while the account-period dialog runs
extern QString share_parameter;

// Back to the state of a fresh process (tests).
void reset();

} // namespace Varunit
