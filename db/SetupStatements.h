#pragma once
// Statements of the admin tool's site set-up: operators, employees, shift
// rules and a month's schedules. Values are always bound.
#include <QString>

namespace Db {

// Employee and Shifts_Rule columns beyond those the sign-in and the roll-over read.
inline const QString cShiftName = QStringLiteral("shift_name");

// Operators, in name order.
inline const QString sqlSetupUsers = QStringLiteral("SELECT * FROM Users ORDER BY username, User_id");
// A new operator, who must change the password at the first sign-in.
inline const QString sqlSetupAddUser
    = QStringLiteral("INSERT INTO Users (User_id, username, password, isNew, IsStop, Access) "
                     "VALUES (:userId, :username, :password, 1, 0, :access)");
inline const QString sqlSetupStopUser = QStringLiteral("UPDATE Users SET IsStop=:stop WHERE username=:username");
// A new first password: the operator must change it again.
inline const QString sqlSetupResetPassword
    = QStringLiteral("UPDATE Users SET password=:password, isNew=1 WHERE username=:username");
inline const QString sqlSetupUserAccess = QStringLiteral("UPDATE Users SET Access=:rights WHERE username=:username");

// Employees, in id order.
inline const QString sqlSetupEmployees
    = QStringLiteral("SELECT emp_id, emp_name, leave_date FROM Employee ORDER BY emp_id");
inline const QString sqlSetupAddEmployee
    = QStringLiteral("INSERT INTO Employee (emp_id, emp_name, leave_date) VALUES (:empId, :empName, :leaveDate)");
inline const QString sqlSetupUpdateEmployee
    = QStringLiteral("UPDATE Employee SET emp_name=:empName, leave_date=:leaveDate WHERE emp_id=:empId");

// Shift rules, in id order.
inline const QString sqlSetupRules = QStringLiteral(
    "SELECT shift_id, shift_name, shifts_cyc, shifts_cyc_unit, shifts FROM Shifts_Rule ORDER BY shift_id");
inline const QString sqlSetupAddRule
    = QStringLiteral("INSERT INTO Shifts_Rule (shift_id, shift_name, shifts_cyc, shifts_cyc_unit, shifts) "
                     "VALUES (:shiftId, :shiftName, :cycle, :unit, :shifts)");
inline const QString sqlSetupUpdateRule
    = QStringLiteral("UPDATE Shifts_Rule SET shift_name=:shiftName, shifts_cyc=:cycle, shifts_cyc_unit=:unit, "
                     "shifts=:shifts WHERE shift_id=:shiftId");

// A month's schedule rows, in employee order.
inline const QString sqlSetupMonthSchemes = QStringLiteral("SELECT * FROM Scheme WHERE YM=:ym ORDER BY emp_id");

// The declared columns of a table on SQLite (%1: the table), for the length
// a text column is declared with.
inline const QString sqlTableInfoSqlite = QStringLiteral("PRAGMA table_info(%1)");

} // namespace Db
