// The sign-in's password check: reading the operator's row and comparing the
// typed password, with the password stored as plain text (as older databases
// hold it) and as a salted hash. Prints each check's time and hashed/plain.
#include "db/Query.h"
#include "db/Statements.h"
#include "signin/PasswordHash.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// One check as the sign-in makes it: the row by name, then the comparison.
bool check(const QSqlDatabase& db, const QString& name, const QString& typed)
{
    Db::Query user(db, Db::sqlActiveUserByName);
    user.bind(Db::cUsername, name);
    user.open();
    return !user.isEmpty() && PasswordHash::matches(user.text(Db::cPassword), typed);
}

void BM_SignInCheck(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Kolvane.mdb"));
    QProcess::execute(
        QCoreApplication::applicationDirPath() + QStringLiteral("/kolvane-db"), { QStringLiteral("init"), file });
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        db.setDatabaseName(file);
        if (!db.open()) {
            state.SkipWithError("cannot open the database");
            return;
        }
        Db::Query add(db,
            QStringLiteral("INSERT INTO Users (User_id, username, password, isNew, IsStop) "
                           "VALUES ('1', 'plain', 'secret', 0, 0), ('2', 'hashed', :p, 0, 0)"));
        add.bind(QStringLiteral("p"), PasswordHash::make(QStringLiteral("secret")));
        add.exec();
        double plain = 0;
        double hashed = 0;
        for (auto _ : state) {
            QElapsedTimer timer;
            timer.start();
            const bool a = check(db, QStringLiteral("plain"), QStringLiteral("secret"));
            plain += double(timer.nsecsElapsed());
            timer.restart();
            const bool b = check(db, QStringLiteral("hashed"), QStringLiteral("secret"));
            hashed += double(timer.nsecsElapsed());
            if (!a || !b) {
                state.SkipWithError("a right password was refused");
                break;
            }
        }
        const double n = double(state.iterations());
        state.counters["plain_ms"] = plain / n / 1e6;
        state.counters["hashed_ms"] = hashed / n / 1e6;
        state.counters["hashed/plain"] = plain > 0 ? hashed / plain : 0;
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
}

BENCHMARK(BM_SignInCheck)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
