#include "host/Main.h"

#include "db/Query.h"
#include "host/Mainmodule.h"
#include "host/Varunit.h"

#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace Main {

TFrmMain* FrmMain = nullptr;

namespace {

// Schedule rows with dates as dates and column captions alike on every engine.
class SchemeModel : public QSqlQueryModel
{
public:
    using QSqlQueryModel::QSqlQueryModel;
    QVariant data(const QModelIndex& index, int role) const override
    {
        const QVariant value = QSqlQueryModel::data(index, role);
        if (role == Qt::DisplayRole
            && record().fieldName(index.column()).compare(u"start_date", Qt::CaseInsensitive) == 0)
            return Db::toDateTime(value).date().toString(QStringLiteral("yyyy-MM-dd"));
        return value;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
            static const QHash<QString, QString> captions = { { QStringLiteral("ym"), QStringLiteral("月份") },
                { QStringLiteral("emp_id"), QStringLiteral("员工编号") },
                { QStringLiteral("shift_id"), QStringLiteral("班次或规则") },
                { QStringLiteral("start_date"), QStringLiteral("轮班起始日") } };
            const QString name = record().fieldName(section);
            return captions.value(name.toLower(), name);
        }
        return QSqlQueryModel::headerData(section, orientation, role);
    }
};

} // namespace

void ExeEventToBack(int, QObject*, bool& handled)
{
    handled = false;
}

TFrmMain::TFrmMain(QWidget* parent)
    : QMainWindow(parent)
    , m_status(new QLabel(this))
    , m_schemes(new QTableView(this))
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("一卡通软件 - %1").arg(Varunit::Account.Name));
    resize(900, 560);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    m_status->setText(QStringLiteral("操作员：%1    帐套：%2（%3 至 %4）")
                          .arg(Varunit::User_name, Varunit::Account.Name,
                              Varunit::Account.BegDate.date().toString(QStringLiteral("yyyy-MM-dd")),
                              Varunit::Account.EndDate.date().toString(QStringLiteral("yyyy-MM-dd"))));
    layout->addWidget(m_status);
    layout->addWidget(new QLabel(QStringLiteral("本月排班表："), central));
    layout->addWidget(m_schemes);
    setCentralWidget(central);
    statusBar()->showMessage(QStringLiteral("已登录：%1").arg(Varunit::User_name));

    // The period's shift schedules, read only.
    if (Mainmodule::MainDM && Mainmodule::MainDM->hasConnection()) {
        auto* model = new SchemeModel(this);
        QSqlQuery query(Mainmodule::MainDM->connection());
        query.prepare(QStringLiteral("SELECT * FROM Scheme WHERE YM=:YM ORDER BY emp_id"));
        query.bindValue(QStringLiteral(":YM"), Varunit::Account.Ym);
        if (query.exec()) {
            model->setQuery(std::move(query));
            while (model->canFetchMore())
                model->fetchMore();
        }
        m_schemes->setModel(model);
        m_schemes->resizeColumnsToContents();
        m_schemes->verticalHeader()->hide();
    }
}

} // namespace Main
