// The main window's roster against what Qt and the engine cost at the least.
//
// For N employees with a full month of codes in one SQLite database, opened as
// the data module opens it:
//   BM_Read    reading the month (rows, names, codes, counts, colours) against
//              floor: the same rows fetched by a bare forward-only query, every
//              value touched; heap kept per employee after the read.
//   BM_Window  the main window from construction to its first painted frame
//              (what the operator waits for after signing in) against the read
//              alone; heap the window keeps per employee.
//   BM_Scroll  one painted frame per page while paging through every row, on
//              the roster model, against the same view on a model that answers
//              a constant text (Qt's own cost); mean and worst frame.
#include "db/Query.h"
#include "host/Mainmodule.h"
#include "host/Schema.h"
#include "host/Varunit.h"
#include "host/roster/Roster.h"
#include "host/roster/ui/RosterModel.h"
#include "host/roster/ui/RosterView.h"
#include "host/ui/Main.h"
#include "platform/System.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>

namespace {

const QString kYm = QStringLiteral("2025-01");

size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

double perEmployee(size_t after, size_t before, int employees)
{
    return after > before ? static_cast<double>(after - before) / employees : 0.0;
}

void exec(QSqlQuery& q)
{
    if (!q.exec())
        throw std::runtime_error(q.lastError().text().toStdString());
}

// A database in the application directory of its own, with the data module on it.
class Fixture
{
public:
    explicit Fixture(int employees)
    {
        if (!m_dir.isValid())
            throw std::runtime_error("no temporary directory");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench-setup"));
            db.setDatabaseName(m_dir.filePath(QStringLiteral("Kolvane.mdb")));
            if (!db.open())
                throw std::runtime_error("cannot create the database");
            fill(db, employees);
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench-setup"));
    }

    // The data module and the sign-in globals, as after a sign-in.
    void signIn()
    {
        Platform::setSuiteDirectory(m_dir.path() + u'/');
        Mainmodule::MainDM = new Mainmodule::TMainDM;
        if (Mainmodule::bQuited)
            throw std::runtime_error("the data module did not connect");
        Varunit::User_name = QStringLiteral("admin");
        Varunit::Account
            = { kYm, QStringLiteral("2025-01月帐套"), QDate(2025, 1, 1).startOfDay(), QDate(2025, 1, 31).startOfDay() };
    }
    void signOut()
    {
        delete Mainmodule::MainDM;
        Mainmodule::MainDM = nullptr;
    }

private:
    static void fill(const QSqlDatabase& db, int employees)
    {
        QSqlQuery q(db);
        q.exec(QStringLiteral("BEGIN"));
        Schema::create(db);
        q.prepare(QStringLiteral("INSERT INTO Users (User_id, username, password) VALUES ('1', 'admin', 'admin')"));
        exec(q);
        q.prepare(QStringLiteral("INSERT INTO Accounts (ym, account_name) VALUES (?, ?)"));
        q.addBindValue(kYm);
        q.addBindValue(kYm);
        exec(q);
        QSqlQuery employee(db);
        employee.prepare(QStringLiteral("INSERT INTO Employee (emp_id, emp_name) VALUES (?, ?)"));
        QStringList columns = { QStringLiteral("YM"), QStringLiteral("emp_id"), QStringLiteral("shift_id") };
        QStringList markers = { QStringLiteral("?"), QStringLiteral("?"), QStringLiteral("?") };
        for (int d = 1; d <= 31; ++d) {
            columns << db.driver()->escapeIdentifier(QString::number(d), QSqlDriver::FieldName);
            markers << QStringLiteral("?");
        }
        QSqlQuery scheme(db);
        scheme.prepare(QStringLiteral("INSERT INTO Scheme (%1) VALUES (%2)")
                           .arg(columns.join(QStringLiteral(", ")), markers.join(QStringLiteral(", "))));
        const QString codes[]
            = { QStringLiteral("早班"), QStringLiteral("中班"), QStringLiteral("夜班"), QStringLiteral("休息"),
                  QStringLiteral("白班"), QStringLiteral("上半月班"), QStringLiteral("年假"), QStringLiteral("培训") };
        const QString surnames = QStringLiteral("陈林黄周吴郑王李张刘");
        for (int i = 0; i < employees; ++i) {
            const QString emp = QStringLiteral("E%1").arg(i, 7, 10, QLatin1Char('0'));
            employee.bindValue(0, emp);
            employee.bindValue(1, surnames.mid(i % 10, 1) + QStringLiteral("员工%1").arg(i % 1000));
            exec(employee);
            scheme.bindValue(0, kYm);
            scheme.bindValue(1, emp);
            scheme.bindValue(2, codes[i % 8]);
            for (int d = 1; d <= 31; ++d)
                scheme.bindValue(2 + d, (i + d) % 9 == 0 ? QVariant() : QVariant(codes[(i + d / 3) % 8]));
            exec(scheme);
        }
        q.exec(QStringLiteral("COMMIT"));
    }

    QTemporaryDir m_dir;
};

Fixture& fixture(int employees)
{
    static std::map<int, std::unique_ptr<Fixture>> fixtures;
    auto& slot = fixtures[employees];
    if (!slot)
        slot = std::make_unique<Fixture>(employees);
    return *slot;
}

double seconds(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

// This thread's CPU time: on a shared machine, waiting for a core does not count.
double cpuNow()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void BM_Read(benchmark::State& state)
{
    const int employees = static_cast<int>(state.range(0));
    Fixture& f = fixture(employees);
    f.signIn();
    const QSqlDatabase db = Mainmodule::db();
    Roster::Month::read(db, kYm); // caches warm
    for (auto _ : state) {
        const size_t before = heapInUse();
        QElapsedTimer timer;
        timer.start();
        double cpu = cpuNow();
        const Roster::Month month = Roster::Month::read(db, kYm);
        const double read = seconds(timer);
        const double readCpu = cpuNow() - cpu;
        const size_t kept = heapInUse();
        if (month.rowCount() != employees) {
            state.SkipWithError("rows missing");
            break;
        }

        timer.restart();
        cpu = cpuNow();
        QSqlQuery floor(db);
        floor.setForwardOnly(true);
        floor.prepare(QStringLiteral("SELECT * FROM Scheme WHERE YM=?"));
        floor.addBindValue(kYm);
        floor.exec();
        qsizetype touched = 0;
        while (floor.next()) {
            for (int i = 0; i < 34; ++i)
                touched += floor.value(i).toString().size();
        }
        benchmark::DoNotOptimize(touched);
        const double floorTime = seconds(timer);
        const double floorCpu = cpuNow() - cpu;

        state.SetIterationTime(read);
        state.counters["floor_s"] = floorTime;
        state.counters["read/floor"] = read / floorTime;
        state.counters["cpu:read_s"] = readCpu;
        state.counters["cpu:read/floor"] = readCpu / floorCpu;
        state.counters["kept_B/emp"] = perEmployee(kept, before, employees);
    }
    f.signOut();
}

void BM_Window(benchmark::State& state)
{
    const int employees = static_cast<int>(state.range(0));
    Fixture& f = fixture(employees);
    f.signIn();
    Roster::Month::read(Mainmodule::db(), kYm); // caches warm
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        double cpu = cpuNow();
        Roster::Month::read(Mainmodule::db(), kYm);
        const double read = seconds(timer);
        const double readCpu = cpuNow() - cpu;

        const size_t before = heapInUse();
        timer.restart();
        cpu = cpuNow();
        auto* window = new Main::TFrmMain;
        window->show();
        window->repaint();
        QApplication::processEvents();
        const double up = seconds(timer);
        const double upCpu = cpuNow() - cpu;
        const size_t after = heapInUse();
        if (window->rosterModel()->rowCount() != employees) {
            state.SkipWithError("rows missing");
            break;
        }
        delete window;

        state.SetIterationTime(up);
        state.counters["read_s"] = read;
        state.counters["window/read"] = up / read;
        state.counters["cpu:window_s"] = upCpu;
        state.counters["cpu:window/read"] = upCpu / readCpu;
        state.counters["window_B/emp"] = perEmployee(after, before, employees);
    }
    f.signOut();
}

// Qt's own cost of a frame: the same grid answering one constant text.
class ConstantModel : public QAbstractTableModel
{
public:
    ConstantModel(int rows, int columns)
        : m_rows(rows)
        , m_columns(columns)
    {
    }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_rows; }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : m_columns; }
    QVariant data(const QModelIndex&, int role) const override
    {
        return role == Qt::DisplayRole ? QVariant(m_text) : QVariant();
    }

private:
    int m_rows;
    int m_columns;
    QString m_text = QStringLiteral("早班");
};

// Pages through the whole grid, one painted frame per step; returns the mean
// and the worst frame in seconds.
std::pair<double, double> pageThrough(QTableView& view)
{
    QScrollBar* bar = view.verticalScrollBar();
    const int steps = 200;
    double total = 0;
    double worst = 0;
    for (int step = 1; step <= steps; ++step) {
        QElapsedTimer timer;
        timer.start();
        bar->setValue(static_cast<int>(static_cast<qint64>(bar->maximum()) * step / steps));
        view.viewport()->repaint();
        const double frame = seconds(timer);
        total += frame;
        worst = std::max(worst, frame);
    }
    return { total / steps, worst };
}

void BM_Scroll(benchmark::State& state)
{
    const int employees = static_cast<int>(state.range(0));
    Fixture& f = fixture(employees);
    f.signIn();
    auto window = std::make_unique<Main::TFrmMain>();
    window->show();
    QApplication::processEvents();
    Roster::FrozenTableView* grid = window->rosterView();
    ConstantModel constant(employees, grid->model()->columnCount());
    Roster::FrozenTableView baseline(2);
    baseline.setModel(&constant);
    baseline.resize(grid->size());
    baseline.show();
    QApplication::processEvents();
    for (auto _ : state) {
        const auto [mean, worst] = pageThrough(*grid);
        const auto [baseMean, baseWorst] = pageThrough(baseline);
        state.SetIterationTime(mean);
        state.counters["worst_ms"] = worst * 1e3;
        state.counters["base_mean_ms"] = baseMean * 1e3;
        state.counters["base_worst_ms"] = baseWorst * 1e3;
        state.counters["mean/base"] = mean / baseMean;
    }
    window.reset();
    f.signOut();
}

} // namespace

BENCHMARK(BM_Read)->Arg(1000)->Arg(50000)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_Window)->Arg(1000)->Arg(50000)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_Scroll)->Arg(50000)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
