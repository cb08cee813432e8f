#pragma once
// Many workstations on one PostgreSQL database for a bounded time. The driver
// prepares the database, starts one worker process per workstation (widgets
// live on one GUI thread per process), ends a few server sessions on the way,
// and checks the database and the workers' records at the end. Each worker
// runs the product's own dialogs through the platform seams.
#include <QDate>
#include <QMap>
#include <QString>
#include <QStringList>

namespace Soak {

// The months the workstations create and delete periods for, after the
// prepared month `today` falls in: they collide on purpose.
QStringList contestedMonths(const QDate& today);

QString ownOperator(int worker);
QString ownPassword(int worker);
QString newOperator(int worker, int index);
inline constexpr int newOperatorsPerWorker = 12;
inline const QString newOperatorPassword = QStringLiteral("init");
QString computerName(int worker);

// One kind of operation, as counted by a worker and summed by the driver.
struct KindStats
{
    int ops = 0;
    int refusals = 0; // operations that ended with a message to the operator
    qint64 slowestMs = 0;
    QString slowestWhere;
    QMap<QString, int> outcomes;
};

struct WorkerOptions
{
    int index = 0;
    QString iniFile; // Tavrel.ini naming the database
    QDate today;
    int seconds = 60;
    int opLimitMs = 30000; // an operation slower than this counts as hung
    QString resultFile;
    quint32 seed = 1;
};

// The worker's whole run; its figures go to resultFile as JSON. Returns the exit code.
int runWorker(const WorkerOptions& options);

} // namespace Soak
