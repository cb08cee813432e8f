#pragma once
// The program's spreadsheet imports and exports: the same work as kolvane-db
// import|export employees|rules|schedule (setup/Sheets), with windows that
// only ask and show.
//
// An import asks for a CSV file, checks it whole and shows what it would add,
// change (old → new) and leave alone, and every bad row with its line, column
// and reason. "导入" is there only for a file without a bad row; it writes the
// whole file in one go and logs it. Closing the preview writes nothing.
#include "setup/Sheets.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;
class QTableWidget;

namespace Setup {

class SheetImportDialog : public QDialog
{
    Q_OBJECT
public:
    // Asks for the file, previews it, and imports it if the operator says so.
    // A schedule is the signed-in period's.
    static void run(QWidget* parent, SheetKind kind, const QString& operatorName);

    SheetImportDialog(SheetKind kind, const QString& operatorName, QWidget* parent = nullptr);
    ~SheetImportDialog() override;

    // Checks the file and shows the outcome. False (said in a message box)
    // when the file cannot be imported at all.
    bool load(const QString& path);

    QTableWidget* rowsTable() const { return m_rows; }
    QTableWidget* problemsTable() const { return m_problems; }
    QPushButton* importButton() const { return m_import; }
    QString summary() const;

private:
    void showPlan();
    void importFile();

    SheetKind m_kind;
    QString m_operator;
    std::unique_ptr<SheetPlan> m_plan;
    QLabel* m_summary;
    QTableWidget* m_rows;
    QTableWidget* m_problems;
    QPushButton* m_import;
};

class SheetExportDialog
{
    Q_DECLARE_TR_FUNCTIONS(Setup::SheetExportDialog)
public:
    // Asks where, then writes the sheet: an Excel workbook for a .xlsx name,
    // CSV otherwise. A schedule is the signed-in period's.
    static void run(QWidget* parent, SheetKind kind, const QString& operatorName);
};

// What the operator calls the sheet: 员工, 班次规则, 2026-03 排班.
QString kindName(SheetKind kind);

} // namespace Setup
