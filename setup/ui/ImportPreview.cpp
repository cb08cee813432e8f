#include "setup/ui/ImportPreview.h"

#include "formats/xlsx/Workbook.h"
#include "host/Mainmodule.h"
#include "host/OpLog.h"
#include "host/Varunit.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ModalShow.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace Setup {

namespace {

MonthKey signedInMonth()
{
    return MonthKey::fromKey(Varunit::Account.Ym).value_or(MonthKey());
}

QTableWidget* table(const QStringList& header, QWidget* parent)
{
    auto* t = new QTableWidget(0, static_cast<int>(header.size()), parent);
    t->setHorizontalHeaderLabels(header);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setTabKeyNavigation(false);
    t->verticalHeader()->hide();
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void fill(QTableWidget* t, int row, const QStringList& cells)
{
    for (int column = 0; column < cells.size(); ++column)
        t->setItem(row, column, new QTableWidgetItem(cells.at(column)));
}

} // namespace

QString kindName(SheetKind kind)
{
    return kind == SheetKind::Schedule ? QCoreApplication::translate("Setup", "%1 排班").arg(signedInMonth().text())
                                       : sheetName(kind);
}

// The kind as a log row names it: in Chinese whatever the session's language,
// as every row of the log.
QString logName(SheetKind kind)
{
    switch (kind) {
    case SheetKind::Employees:
        return QStringLiteral("员工");
    case SheetKind::Rules:
        return QStringLiteral("班次规则");
    case SheetKind::Schedule:
        break;
    }
    return signedInMonth().text() + QStringLiteral(" 排班");
}

SheetImportDialog::SheetImportDialog(SheetKind kind, const QString& operatorName, QWidget* parent)
    : QDialog(parent)
    , m_kind(kind)
    , m_operator(operatorName)
    , m_summary(new QLabel(this))
    , m_rows(table({ tr("行"), tr("结果"), tr("编号"), tr("内容") }, this))
    , m_problems(table({ tr("行"), tr("列"), tr("原因") }, this))
{
    setObjectName(QStringLiteral("SheetImportDialog"));
    setWindowTitle(tr("导入%1").arg(kindName(kind)));
    resize(760, 520);
    m_summary->setWordWrap(true);
    auto* rowsLabel = new QLabel(tr("各行(&R)："), this);
    rowsLabel->setBuddy(m_rows);
    auto* problemsLabel = new QLabel(tr("错误(&E)："), this);
    problemsLabel->setBuddy(m_problems);
    auto* buttons = new QDialogButtonBox(this);
    m_import = buttons->addButton(tr("导入(&I)"), QDialogButtonBox::AcceptRole);
    buttons->addButton(tr("关闭(&C)"), QDialogButtonBox::RejectRole);
    connect(m_import, &QPushButton::clicked, this, [this] { importFile(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(rowsLabel);
    layout->addWidget(m_rows, 3);
    layout->addWidget(problemsLabel);
    layout->addWidget(m_problems, 1);
    layout->addWidget(buttons);
}

SheetImportDialog::~SheetImportDialog() = default;

QString SheetImportDialog::summary() const
{
    return m_summary->text();
}

bool SheetImportDialog::load(const QString& path)
{
    // A file of many thousand rows takes a moment: the window keeps painting.
    QProgressDialog progress(tr("正在检查 %1……").arg(QFileInfo(path).fileName()), QString(), 0, 100, parentWidget());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    const auto step = [&progress](qsizetype done, qsizetype total) {
        progress.setValue(total > 0 ? static_cast<int>(done * 100 / total) : 100);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    try {
        m_plan = SheetPlan::check(Mainmodule::db(), m_kind, path, signedInMonth(), step);
    } catch (const std::exception& e) {
        Platform::MessageBox(Platform::messageOf(e), windowTitle(), Platform::MB_ICONSTOP);
        return false;
    }
    showPlan();
    return true;
}

void SheetImportDialog::showPlan()
{
    const QList<PlannedRow>& rows = m_plan->rows();
    m_rows->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        const PlannedRow& row = rows.at(i);
        const QString kind = row.kind == PlannedRow::Kind::Added ? tr("新增")
            : row.kind == PlannedRow::Kind::Changed              ? tr("修改")
                                                                 : tr("不变");
        fill(m_rows, i, { QString::number(row.line), kind, row.id, row.text });
    }
    const QList<Problem>& problems = m_plan->problems();
    m_problems->setRowCount(static_cast<int>(problems.size()));
    for (int i = 0; i < problems.size(); ++i)
        fill(m_problems, i, { QString::number(problems.at(i).line), problems.at(i).column, problems.at(i).reason });
    m_rows->resizeColumnsToContents();
    m_problems->resizeColumnsToContents();
    QString text = problems.isEmpty() ? tr("文件 %1：将新增 %2 行，修改 %3 行，%4 行不变。按“导入”写入数据库。")
                                            .arg(m_plan->path())
                                            .arg(m_plan->added())
                                            .arg(m_plan->changed())
                                            .arg(m_plan->unchanged())
                                      : tr("文件 %1 有 %2 处错误，不能导入：请改正后再选择文件。数据库没有改动。")
                                            .arg(m_plan->path())
                                            .arg(problems.size());
    if (!m_plan->unread().isEmpty())
        text += u'\n' + tr("没有读取这些列：%1").arg(m_plan->unread().join(tr("、")));
    m_summary->setText(text);
    if (auto* box = qobject_cast<QVBoxLayout*>(layout()); box && !problems.isEmpty())
        box->setStretchFactor(m_problems, 3);
    m_import->setEnabled(problems.isEmpty());
    m_import->setDefault(problems.isEmpty());
    (problems.isEmpty() ? m_rows : m_problems)->setFocus();
}

void SheetImportDialog::importFile()
{
    QString refused;
    try {
        refused = m_plan->apply();
    } catch (const std::exception& e) {
        Platform::MessageBox(tr("没有导入：%1").arg(Platform::messageOf(e)), windowTitle(), Platform::MB_ICONSTOP);
        return;
    }
    OpLog::write(QStringLiteral("导入%1：文件 %2，新增 %3 行，修改 %4 行%5")
                     .arg(logName(m_kind), m_plan->path())
                     .arg(m_plan->added())
                     .arg(m_plan->changed())
                     .arg(refused.isEmpty() ? QString() : QStringLiteral("，数据库拒绝了其中一部分")),
        m_operator);
    Platform::MessageBox(refused.isEmpty() ? m_plan->summary(false) : m_plan->summary(false) + u'\n' + refused,
        windowTitle(), refused.isEmpty() ? Platform::MB_ICONINFORMATION : Platform::MB_ICONEXCLAMATION);
    accept();
}

void SheetImportDialog::run(QWidget* parent, SheetKind kind, const QString& operatorName)
{
    QFileDialog files(parent, tr("导入%1").arg(kindName(kind)), QString(), tr("CSV 文件 (*.csv *.txt);;所有文件 (*)"));
    files.setObjectName(QStringLiteral("SheetImportFile"));
    files.setAcceptMode(QFileDialog::AcceptOpen);
    files.setFileMode(QFileDialog::ExistingFile);
    if (Platform::ShowModal(&files) != QDialog::Accepted || files.selectedFiles().isEmpty())
        return;
    SheetImportDialog preview(kind, operatorName, parent);
    if (preview.load(files.selectedFiles().constFirst()))
        Platform::ShowModal(&preview);
}

void SheetExportDialog::run(QWidget* parent, SheetKind kind, const QString& operatorName)
{
    const QString title = tr("导出%1").arg(kindName(kind));
    QFileDialog files(
        parent, title, kindName(kind) + QStringLiteral(".csv"), tr("CSV 文件 (*.csv);;Excel 工作簿 (*.xlsx)"));
    files.setObjectName(QStringLiteral("SheetExportFile"));
    files.setAcceptMode(QFileDialog::AcceptSave);
    files.setFileMode(QFileDialog::AnyFile);
    if (Platform::ShowModal(&files) != QDialog::Accepted || files.selectedFiles().isEmpty())
        return;
    const QString path = files.selectedFiles().constFirst();
    try {
        const Table sheet = exportSheet(Mainmodule::db(), kind, signedInMonth());
        if (path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive))
            Workbook::Writer::writeTable(path, sheetName(kind, signedInMonth()), sheet.header, sheet.rows);
        else
            writeCsv(sheet, path);
        OpLog::write(
            QStringLiteral("导出%1：文件 %2，%3 行").arg(logName(kind), path).arg(sheet.rows.size()), operatorName);
        Platform::MessageBox(
            tr("已导出 %1 行到 %2。").arg(sheet.rows.size()).arg(path), title, Platform::MB_ICONINFORMATION);
    } catch (const std::exception& e) {
        Platform::MessageBox(tr("没有导出：%1").arg(Platform::messageOf(e)), title, Platform::MB_ICONSTOP);
    }
}

} // namespace Setup
