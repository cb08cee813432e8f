// Start-up time: process start to the login dialog shown (offscreen) on the
// demonstration database, against a bare Qt program that shows one empty dialog.
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QString binDir()
{
    return QCoreApplication::applicationDirPath();
}

void runProbe(benchmark::State& state, const QStringList& args, const QProcessEnvironment& env)
{
    for (auto _ : state) {
        QProcess probe;
        probe.setProcessEnvironment(env);
        probe.start(binDir() + QStringLiteral("/startup_probe"), args);
        if (!probe.waitForFinished(60000) || probe.exitCode() != 0) {
            state.SkipWithError("probe failed");
            return;
        }
    }
}

struct Fixture
{
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    Fixture()
    {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        QProcess::execute(binDir() + QStringLiteral("/kolvane-db"),
            { QStringLiteral("demo"), dir.filePath(QStringLiteral("Kolvane.mdb")) });
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_BareDialog(benchmark::State& state)
{
    runProbe(state, { QStringLiteral("bare") }, fixture().env);
}

void BM_KolvaneToLogin(benchmark::State& state)
{
    runProbe(state, { QStringLiteral("kolvane"), fixture().dir.path() + u'/' }, fixture().env);
}

BENCHMARK(BM_BareDialog)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(5);
BENCHMARK(BM_KolvaneToLogin)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(5);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
