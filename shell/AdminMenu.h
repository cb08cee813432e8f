#pragma once
// The main window's 管理 menu: the operators dialog, and the spreadsheet
// imports and exports of employees, shift rules and schedules. Shown to an
// operator who may manage operators or import data; the entries of the right
// the operator lacks are there but disabled.
#include <QString>

class QMainWindow;
class QMenu;
class QWidget;

namespace AdminMenu {

// Adds the menu to the window's menu bar for the signed-in operator
// (Varunit::User_name); nullptr when the operator has neither right.
// Throws Db::Error when the rights cannot be read.
QMenu* install(QMainWindow* window);

// The entries' work: one function a kind ("employees", "rules", "schedule").
void showOperators(QWidget* parent);
void importSheet(QWidget* parent, const QString& kind);
void exportSheet(QWidget* parent, const QString& kind);

} // namespace AdminMenu
