#include "host/ui/Main.h"

#include "platform/Failure.h"

#include "host/Mainmodule.h"
#include "host/Varunit.h"
#include "host/roster/Roster.h"
#include "host/roster/RosterSheet.h"
#include "host/roster/ui/RosterModel.h"
#include "host/roster/ui/RosterPrint.h"
#include "host/roster/ui/RosterView.h"
#include "host/ui/ErrorReport.h"
#include "platform/System.h"
#include "platform/ui/ModalShow.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>

#include <stdexcept>

namespace Main {

TFrmMain* FrmMain = nullptr;

void ExeEventToBack(int, QObject*, bool& handled)
{
    handled = false;
}

TFrmMain::TFrmMain(QWidget* parent)
    : QMainWindow(parent)
    , m_info(new QLabel(this))
    , m_filter(new QLineEdit(this))
    , m_stack(new QStackedWidget(this))
    , m_notice(new QLabel(this))
    , m_model(new Roster::Model(this))
    , m_coverageModel(new Roster::CoverageModel(m_model, this))
    , m_grid(new Roster::FrozenTableView(2, this))
    , m_coverage(new Roster::FrozenTableView(2, this))
    , m_count(new QLabel(this))
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(tr("一卡通软件 - %1").arg(Varunit::Account.Name));
    resize(1200, 720);
    createMenus();
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(createTopLine(central));
    layout->addWidget(createGrids(), 1);
    setCentralWidget(central);
    statusBar()->addWidget(new QLabel(tr("已登录：%1").arg(Varunit::User_name), this));
    statusBar()->addPermanentWidget(m_count);

    reload();
    m_grid->setFocus();
}

// Menus: every action has a key.
void TFrmMain::createMenus()
{
    QMenu* file = menuBar()->addMenu(tr("文件(&F)"));
    QAction* print = file->addAction(tr("打印(&P)…"), this, ErrorReport::guarded([this] { printRoster(); }));
    print->setShortcut(QKeySequence::Print);
    QAction* pdf = file->addAction(tr("打印为 PDF(&D)…"), this, ErrorReport::guarded([this] { printToPdf(); }));
    pdf->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    QAction* csv = file->addAction(tr("导出 CSV(&E)…"), this, ErrorReport::guarded([this] { exportCsv(); }));
    csv->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    QAction* excel = file->addAction(tr("导出 Excel(&X)…"), this, ErrorReport::guarded([this] { exportWorkbook(); }));
    excel->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    m_needRows = { print, pdf, csv, excel };
    file->addSeparator();
    QAction* quit = file->addAction(tr("退出(&X)"), this, &QWidget::close);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    QMenu* view = menuBar()->addMenu(tr("查看(&V)"));
    QAction* find = view->addAction(tr("筛选(&F)"), this, [this] {
        m_filter->setFocus(Qt::ShortcutFocusReason);
        m_filter->selectAll();
    });
    find->setShortcut(QKeySequence::Find);
    QAction* refresh = view->addAction(tr("刷新(&R)"), this, [this] { reload(); });
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
}

// Who and which period; the filter.
QLayout* TFrmMain::createTopLine(QWidget* central)
{
    auto* top = new QHBoxLayout;
    m_info->setText(tr("操作员：%1    帐套：%2（%3 至 %4）")
                        .arg(Varunit::User_name, Varunit::Account.Name,
                            Varunit::Account.BegDate.date().toString(QStringLiteral("yyyy-MM-dd")),
                            Varunit::Account.EndDate.date().toString(QStringLiteral("yyyy-MM-dd"))));
    top->addWidget(m_info, 1);
    auto* filterLabel = new QLabel(tr("筛选(&S)："), central);
    filterLabel->setBuddy(m_filter);
    top->addWidget(filterLabel);
    m_filter->setObjectName(QStringLiteral("edFilter"));
    m_filter->setPlaceholderText(tr("员工编号、姓名或班次（Ctrl+F）"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setMinimumWidth(260);
    top->addWidget(m_filter);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_model->setFilter(text);
        updateStatus();
    });
    auto* clear = new QShortcut(QKeySequence(Qt::Key_Escape), m_filter, m_filter, &QLineEdit::clear);
    clear->setContext(Qt::WidgetShortcut);
    return top;
}

// The roster over its coverage, the two scrolling together, and the notice
// shown instead of them.
QWidget* TFrmMain::createGrids()
{
    m_grid->setObjectName(QStringLiteral("gridRoster"));
    m_grid->setModel(m_model);
    m_coverage->setObjectName(QStringLiteral("gridCoverage"));
    m_coverage->setModel(m_coverageModel);
    connect(m_grid->horizontalScrollBar(), &QAbstractSlider::valueChanged, m_coverage->horizontalScrollBar(),
        &QAbstractSlider::setValue);
    connect(m_coverage->horizontalScrollBar(), &QAbstractSlider::valueChanged, m_grid->horizontalScrollBar(),
        &QAbstractSlider::setValue);
    auto* below = new QWidget(this);
    auto* belowLayout = new QVBoxLayout(below);
    belowLayout->setContentsMargins(0, 0, 0, 0);
    belowLayout->addWidget(new QLabel(tr("每日人数（按班次）："), below));
    belowLayout->addWidget(m_coverage);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_grid);
    splitter->addWidget(below);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);
    m_stack->addWidget(splitter);
    m_notice->setObjectName(QStringLiteral("lbNotice"));
    m_notice->setAlignment(Qt::AlignCenter);
    m_notice->setWordWrap(true);
    QFont big = m_notice->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    m_notice->setFont(big);
    m_stack->addWidget(m_notice);
    return m_stack;
}

QString TFrmMain::notice() const
{
    return m_stack->currentWidget() == m_notice ? m_notice->text() : QString();
}

void TFrmMain::reload()
{
    try {
        read();
    } catch (const std::exception& error) {
        m_model->setMonth({});
        showNotice(tr("无法读取本帐套的排班表。\n排除故障后按 F5 重新读取。"));
        updateStatus();
        ErrorReport::report(error);
    }
}

void TFrmMain::read()
{
    const int scrolled = m_grid->verticalScrollBar()->value();
    Roster::Month month = Roster::Month::read(Mainmodule::db(), Varunit::Account.Ym);
    m_model->setToday(Platform::today());
    m_model->setMonth(std::move(month));
    const Roster::Month& current = m_model->month();
    if (current.isEmpty()) {
        showNotice(
            tr("帐套“%1”（%2）还没有排班记录。\n按 F5 重新读取。").arg(Varunit::Account.Name, Varunit::Account.Ym));
    } else {
        applyColumnWidths();
        m_grid->setMarkedColumn(m_model->todayColumn());
        m_coverage->setMarkedColumn(m_model->todayColumn());
        m_stack->setCurrentIndex(0);
        m_grid->verticalScrollBar()->setValue(scrolled);
    }
    for (QAction* action : std::as_const(m_needRows))
        action->setEnabled(!current.isEmpty());
    updateStatus();
}

void TFrmMain::showNotice(const QString& text)
{
    m_notice->setText(text);
    m_stack->setCurrentWidget(m_notice);
    for (QAction* action : std::as_const(m_needRows))
        action->setEnabled(false);
}

// Fixed widths from the month's codes and counts: nothing is measured per employee.
void TFrmMain::applyColumnWidths()
{
    const Roster::Month& month = m_model->month();
    const QFontMetrics metrics = m_grid->fontMetrics();
    int day = metrics.horizontalAdvance(QStringLiteral("31")) + 16;
    int codes = metrics.horizontalAdvance(tr("（空）"));
    for (const Roster::Month::Code code : month.legend()) {
        day = std::max(day, metrics.horizontalAdvance(month.codes()[code]) + 10);
        codes = std::max(codes, metrics.horizontalAdvance(month.codes()[code]));
    }
    // A long code may be cut, a count never: the day columns (the coverage's
    // and the grid's, which scroll together) are as wide as the coverage's
    // widest count needs by the view's own measure, plus the grid line and
    // room on either side for today's frame.
    day = std::min(day, 90);
    for (int row = 0; row < m_coverageModel->rowCount(); ++row) {
        for (int column = Roster::kFirstDayColumn; column < m_coverageModel->columnCount(); ++column)
            day = std::max(day, m_coverage->sizeHintForIndex(m_coverageModel->index(row, column)).width() + 5);
    }
    const int id = std::max({ metrics.horizontalAdvance(tr("员工编号")), codes, 60 }) + 16;
    const int name = std::max(metrics.horizontalAdvance(tr("共 %1 格").arg(month.rowCount() * month.days())),
                         metrics.horizontalAdvance(QStringLiteral("欧阳晓明")))
        + 16;
    for (Roster::FrozenTableView* view : { m_grid, m_coverage }) {
        view->setColumnWidth(0, id);
        view->setColumnWidth(1, name);
        for (int column = Roster::kFirstDayColumn; column < m_model->columnCount(); ++column)
            view->setColumnWidth(column, day);
    }
    // The coverage shows every code (up to ten) without scrolling.
    const int rows = std::min(m_coverageModel->rowCount(), 10);
    m_coverage->setMinimumHeight(m_coverage->horizontalHeader()->sizeHint().height()
        + rows * m_coverage->verticalHeader()->defaultSectionSize()
        + m_coverage->horizontalScrollBar()->sizeHint().height() + 2 * m_coverage->frameWidth());
}

void TFrmMain::updateStatus()
{
    const int all = m_model->month().rowCount();
    const int shown = m_model->rowCount();
    m_count->setText(shown == all ? tr("共 %1 人").arg(all) : tr("筛选后 %1 人，共 %2 人").arg(shown).arg(all));
}

QString TFrmMain::askSaveFile(const QString& caption, const QString& fileName, const QString& filter)
{
    QFileDialog dialog(this, caption, QDir::home().filePath(fileName), filter);
    dialog.setObjectName(QStringLiteral("dlgSaveFile"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QFileInfo(fileName).suffix());
    if (Platform::ShowModal(&dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString TFrmMain::printTitle() const
{
    return tr("%1 排班表").arg(Varunit::Account.Name);
}

void TFrmMain::printRoster()
{
    QPrinter printer(QPrinter::HighResolution);
    Roster::Printout::preparePage(printer);
    printer.setDocName(printTitle());
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(QStringLiteral("dlgPrint"));
    if (Platform::ShowModal(&dialog) != QDialog::Accepted)
        return;
    const int pages = Roster::Printout::print(m_model->month(), printer, printTitle(), Platform::today());
    statusBar()->showMessage(tr("已打印 %1 页。").arg(pages), 5000);
}

void TFrmMain::printToPdf()
{
    const QString path
        = askSaveFile(tr("打印为 PDF"), tr("排班表-%1.pdf").arg(Varunit::Account.Ym), tr("PDF 文件 (*.pdf)"));
    if (path.isEmpty())
        return;
    // Written beside the target and moved into place only when complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Platform::Failure(tr("无法写入文件 %1：%2").arg(path, file.errorString()));
    int pages = 0;
    {
        QPdfWriter writer(&file);
        writer.setTitle(printTitle());
        writer.setCreator(tr("一卡通软件"));
        Roster::Printout::preparePage(writer);
        pages = Roster::Printout::print(m_model->month(), writer, printTitle(), Platform::today());
    }
    if (!file.commit())
        throw Platform::Failure(tr("无法保存文件 %1：%2").arg(path, file.errorString()));
    statusBar()->showMessage(tr("已保存 %1（%2 页）。").arg(path).arg(pages), 5000);
}

void TFrmMain::exportCsv()
{
    const QString path
        = askSaveFile(tr("导出 CSV"), tr("排班表-%1.csv").arg(Varunit::Account.Ym), tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Platform::Failure(tr("无法写入文件 %1：%2").arg(path, file.errorString()));
    m_model->month().writeCsv(file);
    if (!file.commit())
        throw Platform::Failure(tr("无法保存文件 %1：%2").arg(path, file.errorString()));
    statusBar()->showMessage(tr("已导出 %1 人的排班表到 %2。").arg(m_model->month().rowCount()).arg(path), 5000);
}

void TFrmMain::exportWorkbook()
{
    const QString path
        = askSaveFile(tr("导出 Excel"), tr("排班表-%1.xlsx").arg(Varunit::Account.Ym), tr("Excel 工作簿 (*.xlsx)"));
    if (path.isEmpty())
        return;
    Workbook::Writer::writeRoster(path, Roster::sheet(m_model->month()));
    statusBar()->showMessage(tr("已导出 %1 人的排班表到 %2。").arg(m_model->month().rowCount()).arg(path), 5000);
}

} // namespace Main
