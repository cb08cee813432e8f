#include "shell/AdminMenu.h"

#include "host/Mainmodule.h"
#include "host/Varunit.h"
#include "host/ui/ErrorReport.h"
#include "periods/AccountRules.h"
#include "platform/ui/ModalShow.h"
#include "setup/ui/ImportPreview.h"
#include "signin/ui/OperatorsDialog.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace AdminMenu {

namespace {

class Text
{
    Q_DECLARE_TR_FUNCTIONS(AdminMenu)
};

} // namespace

QMenu* install(QMainWindow* window)
{
    const std::optional<AccountRules::Rights> rights
        = AccountRules::operatorRights(Mainmodule::db(), Varunit::User_name);
    if (!rights || !(rights->manageOperators || rights->importData))
        return nullptr;
    QMenu* menu = window->menuBar()->addMenu(Text::tr("管理(&A)"));
    menu->setObjectName(QStringLiteral("menuAdmin"));
    QAction* operators = menu->addAction(
        Text::tr("操作员(&U)…"), window, ErrorReport::guarded([window] { showOperators(window); }));
    operators->setEnabled(rights->manageOperators);
    menu->addSeparator();
    const QString kinds[3] = { QStringLiteral("employees"), QStringLiteral("rules"), QStringLiteral("schedule") };
    const QString imports[3] = { Text::tr("导入员工(&E)…"), Text::tr("导入班次规则(&R)…"), Text::tr("导入排班(&S)…") };
    const QString exports[3] = { Text::tr("导出员工(&M)…"), Text::tr("导出班次规则(&L)…"), Text::tr("导出排班(&H)…") };
    for (int i = 0; i < 3; ++i) {
        const QString kind = kinds[i];
        menu->addAction(imports[i], window, ErrorReport::guarded([window, kind] { importSheet(window, kind); }))
            ->setEnabled(rights->importData);
    }
    menu->addSeparator();
    for (int i = 0; i < 3; ++i) {
        const QString kind = kinds[i];
        menu->addAction(exports[i], window, ErrorReport::guarded([window, kind] { exportSheet(window, kind); }))
            ->setEnabled(rights->importData);
    }
    return menu;
}

void showOperators(QWidget* parent)
{
    TFrmOperators dialog({ Varunit::User_name, Varunit::User_name }, parent);
    Platform::ShowModal(&dialog);
}

namespace {

Setup::SheetKind sheetKind(const QString& kind)
{
    if (kind == u"employees")
        return Setup::SheetKind::Employees;
    return kind == u"rules" ? Setup::SheetKind::Rules : Setup::SheetKind::Schedule;
}

} // namespace

void importSheet(QWidget* parent, const QString& kind)
{
    Setup::SheetImportDialog::run(parent, sheetKind(kind), Varunit::User_name);
}

void exportSheet(QWidget* parent, const QString& kind)
{
    Setup::SheetExportDialog::run(parent, sheetKind(kind), Varunit::User_name);
}

} // namespace AdminMenu
