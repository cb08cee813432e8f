// One simulated workstation: starts the program's data module and login dialog,
// makes failed and successful sign-ins, manages periods through the period
// dialog, changes passwords, and starts again, until its time is up. Every
// message box is recorded and judged; every operation is timed.
#include "Soak.h"
#include "TestSupport.h"

#include "host/AccountDataset.h"
#include "host/ui/ErrorReport.h"
#include "host/Mainmodule.h"
#include "host/Prjconst.h"
#include "periods/ui/AAccount.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ModalShow.h"
#include "platform/System.h"
#include "signin/ui/Login.h"
#include "signin/ui/Password.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QThread>
#include <QToolButton>
#include <functional>
#include <memory>

namespace Soak {

QStringList contestedMonths(const QDate& today)
{
    const QDate first(today.year(), today.month(), 1);
    QStringList months;
    for (int i = 1; i <= 3; ++i)
        months << first.addMonths(i).toString(QStringLiteral("yyyy-MM"));
    return months;
}

QString ownOperator(int worker)
{
    return QStringLiteral("操作员%1").arg(worker, 3, 10, QLatin1Char('0'));
}

QString ownPassword(int worker)
{
    return QStringLiteral("pw%1").arg(worker);
}

QString newOperator(int worker, int index)
{
    return QStringLiteral("新员%1-%2").arg(worker, 3, 10, QLatin1Char('0')).arg(index);
}

QString computerName(int worker)
{
    return QStringLiteral("SOAK-W%1").arg(worker, 3, 10, QLatin1Char('0'));
}

namespace {

template <class T> T* child(QWidget* form, const char* name)
{
    T* widget = form->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

bool hasChinese(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x4E00 && u <= 0x9FFF) || (u >= 0x3000 && u <= 0x303F) || (u >= 0xFF00 && u <= 0xFFEF))
            return true;
    }
    return false;
}

// The message texts the dialogs show, by their names.
const QList<std::pair<QString, QString>>& knownTexts()
{
    static const QList<std::pair<QString, QString>> texts = {
        { QStringLiteral("_msgOpUserStop"), Prjconst::_msgOpUserStop },
        { QStringLiteral("_PassWordError"), Prjconst::_PassWordError },
        { QStringLiteral("_UserNotExists"), Prjconst::_UserNotExists },
        { QStringLiteral("_AccountIsEmpty"), Prjconst::_AccountIsEmpty },
        { QStringLiteral("_msgAccountSelect"), Prjconst::_msgAccountSelect },
        { QStringLiteral("_msgOpenAccout"), Prjconst::_msgOpenAccout },
        { QStringLiteral("_UserNameNotExists"), Prjconst::_UserNameNotExists },
        { QStringLiteral("_OldPassWordErr"), Prjconst::_OldPassWordErr },
        { QStringLiteral("_SPassWordDif"), Prjconst::_SPassWordDif },
        { QStringLiteral("_SPassWordLenISZero"), Prjconst::_SPassWordLenISZero },
        { QStringLiteral("_SPassWordChangeOk"), Prjconst::_SPassWordChangeOk },
        { QStringLiteral("_CanNotAccount"), Prjconst::_CanNotAccount },
        { QStringLiteral("_ErrorAccount"), Prjconst::_ErrorAccount },
        { QStringLiteral("_msgCreateAccount"), Prjconst::_msgCreateAccount },
    };
    return texts;
}

QString nameOf(const QString& text)
{
    // The lock after repeated wrong passwords names the wait in its second line.
    if (text.startsWith(QString(Prjconst::_msgUserLocked).section(u'\n', 0, 0)))
        return QStringLiteral("_msgUserLocked");
    for (const auto& [name, known] : knownTexts()) {
        if (known == text)
            return name;
    }
    return {};
}

class Workstation
{
public:
    explicit Workstation(const WorkerOptions& options)
        : m_options(options)
        , m_random(options.seed)
        , m_months(contestedMonths(options.today))
        , m_thisMonth(options.today.toString(QStringLiteral("yyyy-MM")))
    {
        m_ownPasswords << ownPassword(options.index);
    }

    int run();

private:
    struct Recorded
    {
        QString text;
        int flags = 0;
    };

    void install();
    bool startProgram();
    void endProgram();
    void sideOperation();
    bool completeSignIn();

    // Operations; each is timed and judged by finish().
    bool signIn(const QString& kind, const QString& name, QStringList* passwords, const QStringList& expected);
    void wrongPassword();
    void periodOperation(bool create);
    void changeOwnPassword();
    bool newOperatorSignIn(const QStringList& expected);

    void begin();
    void finish(const QString& kind, const QString& outcome, const QStringList& expected = {});
    // The name of the first message shown but the question whether to go on
    // with another month than this one, or a database message.
    QString refusalOf() const;
    bool databaseMessageShown() const;
    void type(const QString& name, const QString& password);
    QString choosePeriod(const QString& ym);
    void pause(int fromMs, int toMs);
    int pick(int n) { return static_cast<int>(m_random.bounded(n)); }
    void writeResult() const;

    WorkerOptions m_options;
    QRandomGenerator m_random;
    QStringList m_months;
    QString m_thisMonth;
    std::unique_ptr<TestSupport::TestEnv> m_env;
    std::unique_ptr<TFrmLogin> m_login;
    QList<Recorded> m_messages; // shown during the current operation
    QElapsedTimer m_opTimer;
    std::function<int(TFrmAccount*)> m_onAccount;
    std::function<int(TFrmPassword*)> m_onPassword;
    QStringList m_ownPasswords; // the first is the one in use; more while a change is in doubt
    int m_nextNew = 1;
    // Wrong passwords in a row for the own operator, as the sign-in counts them
    // for its lock: kept below the lock, so that the own operator's right
    // password is never refused.
    int m_ownFailures = 0;

    QMap<QString, KindStats> m_stats;
    QMap<QString, int> m_messageCounts;
    QStringList m_unclear;
    QStringList m_unexpected;
    QStringList m_hung;
    int m_signIns = 0;
};

void Workstation::install()
{
    m_env = std::make_unique<TestSupport::TestEnv>();
    // Each workstation its own application directory and registry, the shared database.
    QFile::remove(m_env->iniPath());
    if (!QFile::copy(m_options.iniFile, m_env->iniPath()))
        qFatal("cannot copy %s", qPrintable(m_options.iniFile));
    QFile(m_env->iniPath()).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    const QDate today = m_options.today;
    Platform::setClock([today] { return QDateTime(today, QTime::currentTime()); });
    Platform::setComputerName(computerName(m_options.index));
    Platform::setMessageBoxHandler([this](const QString& text, const QString&, int flags) {
        m_messages.append({ text, flags });
        // Yes to "go on with the period chosen"; OK to everything else.
        return (flags & 0x0F) == Platform::MB_YESNO ? int(Platform::IDYES) : int(Platform::IDOK);
    });
    Platform::setModalHandler([this](QDialog* dialog) {
        if (auto* account = qobject_cast<TFrmAccount*>(dialog))
            return m_onAccount ? m_onAccount(account) : int(Platform::mrCancel);
        if (auto* password = qobject_cast<TFrmPassword*>(dialog))
            return m_onPassword ? m_onPassword(password) : int(Platform::mrCancel);
        return int(Platform::mrCancel);
    });
}

void Workstation::begin()
{
    m_messages.clear();
    m_opTimer.start();
}

bool Workstation::databaseMessageShown() const
{
    for (const Recorded& m : m_messages) {
        if (nameOf(m.text).isEmpty())
            return true;
    }
    return false;
}

QString Workstation::refusalOf() const
{
    if (databaseMessageShown())
        return QStringLiteral("database or connection message");
    for (const Recorded& m : m_messages) {
        const QString name = nameOf(m.text);
        if (name != u"_msgAccountSelect")
            return name;
    }
    return QStringLiteral("no message");
}

void Workstation::finish(const QString& kind, const QString& outcome, const QStringList& expected)
{
    const qint64 ms = m_opTimer.elapsed();
    KindStats& s = m_stats[kind];
    ++s.ops;
    ++s.outcomes[outcome];
    bool refused = false;
    for (const Recorded& m : m_messages) {
        const QString name = nameOf(m.text);
        if (name != u"_SPassWordChangeOk" && name != u"_msgAccountSelect")
            refused = true;
        // A message is clear when it is one of the dialogs' own texts, or a
        // database or connection message that says in Chinese what failed.
        QString key = name;
        if (key.isEmpty()) {
            const QString firstLine = m.text.section(u'\n', 0, 0).trimmed();
            key = QStringLiteral("database: ") + firstLine.left(60);
            if (m.text.trimmed().isEmpty() || !hasChinese(firstLine))
                m_unclear << QStringLiteral("%1: \"%2\"").arg(kind, m.text.left(300));
        }
        ++m_messageCounts[key];
    }
    if (refused)
        ++s.refusals;
    if (ms > s.slowestMs) {
        s.slowestMs = ms;
        s.slowestWhere = QStringLiteral("%1 (%2)").arg(computerName(m_options.index), outcome);
    }
    if (ms > m_options.opLimitMs)
        m_hung << QStringLiteral("%1 took %2 ms (%3)").arg(kind).arg(ms).arg(outcome);
    // A database message (a session the server ended) is an acceptable end of
    // any operation; any other end than the expected one is a fault.
    if (!expected.isEmpty() && !expected.contains(outcome) && outcome != u"database or connection message")
        m_unexpected
            << QStringLiteral("%1: expected %2, got %3").arg(kind, expected.join(QStringLiteral(" or ")), outcome);
    std::fprintf(stdout, "%s %s %lld ms: %s\n", qPrintable(QTime::currentTime().toString(u"HH:mm:ss.zzz")),
        qPrintable(kind), static_cast<long long>(ms), outcome.toUtf8().constData());
    std::fflush(stdout);
}

void Workstation::pause(int fromMs, int toMs)
{
    QThread::msleep(static_cast<unsigned long>(fromMs + pick(toMs - fromMs + 1)));
}

bool Workstation::startProgram()
{
    begin();
    bool ready = m_env->createDataModule();
    if (ready) {
        ErrorReport::guarded([this] {
            m_login = std::make_unique<TFrmLogin>(nullptr);
            Login::FrmLogin = m_login.get();
        })();
        ready = m_login != nullptr;
    }
    finish(QStringLiteral("program start"), ready ? QStringLiteral("ready") : refusalOf(), { QStringLiteral("ready") });
    if (!ready)
        endProgram();
    return ready;
}

void Workstation::endProgram()
{
    m_login.reset();
    m_env->destroyDataModule();
}

void Workstation::type(const QString& name, const QString& password)
{
    child<QComboBox>(m_login.get(), "edUserName")->setEditText(name);
    child<QLineEdit>(m_login.get(), "edPassword")->setText(password);
}

// Picks a period in the selector, as the operator does with the drop-down list;
// returns the month picked.
QString Workstation::choosePeriod(const QString& ym)
{
    auto* selector = child<QComboBox>(m_login.get(), "cbAccount");
    AccountDataset* periods = Mainmodule::MainDM->accountData();
    const int column = periods->column(QStringLiteral("ym"));
    QAbstractItemModel* model = selector->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->data(model->index(row, column), Qt::EditRole).toString() == ym) {
            selector->setCurrentIndex(row);
            Q_EMIT selector->activated(row);
            return ym;
        }
    }
    // Gone from the list (deleted by another workstation since): this month's period instead.
    return ym != m_thisMonth ? choosePeriod(m_thisMonth) : QString();
}

bool Workstation::signIn(const QString& kind, const QString& name, QStringList* passwords, const QStringList& expected)
{
    begin();
    QString outcome;
    for (int i = 0; i < passwords->size(); ++i) {
        m_messages.clear();
        type(name, passwords->at(i));
        m_login->setResult(0);
        child<QPushButton>(m_login.get(), "btnOk")->click();
        if (m_login->result() == Platform::mrOk) {
            outcome = QStringLiteral("signed in");
            // The password that worked is the one in use from now on.
            *passwords = QStringList { passwords->at(i) };
            break;
        }
        outcome = refusalOf();
        if (outcome == u"_PassWordError" && name == ownOperator(m_options.index))
            ++m_ownFailures;
        // While a password change is in doubt, the other candidate may be the right one.
        if (outcome != u"_PassWordError")
            break;
    }
    if (outcome == u"signed in") {
        ++m_signIns;
        if (name == ownOperator(m_options.index))
            m_ownFailures = 0;
    }
    finish(kind, outcome, expected);
    return outcome == u"signed in";
}

void Workstation::wrongPassword()
{
    QStringList wrong { QStringLiteral("wrong%1").arg(pick(1000)) };
    switch (pick(4)) {
    case 0:
        if (m_ownFailures < 2) {
            signIn(QStringLiteral("sign-in, wrong password"), ownOperator(m_options.index), &wrong,
                { QStringLiteral("_PassWordError") });
            break;
        }
        [[fallthrough]];
    case 3: // a name every workstation mistypes: locked now and then, for all of them
        signIn(QStringLiteral("sign-in, wrong password, shared name"), QStringLiteral("赵六"), &wrong,
            { QStringLiteral("_PassWordError"), QStringLiteral("_msgUserLocked") });
        break;
    case 1: // a stopped operator of the demonstration data, with the right password
        wrong = QStringList { QStringLiteral("1234") };
        signIn(QStringLiteral("sign-in, stopped operator"), QStringLiteral("李四"), &wrong,
            { QStringLiteral("_msgOpUserStop") });
        break;
    default:
        signIn(QStringLiteral("sign-in, unknown operator"), QStringLiteral("无此人%1").arg(m_options.index), &wrong,
            { QStringLiteral("_UserNotExists") });
        break;
    }
}

void Workstation::periodOperation(bool create)
{
    const QString kind = create ? QStringLiteral("period create") : QStringLiteral("period delete");
    const QString ym = m_months.at(pick(static_cast<int>(m_months.size())));
    const bool tick = pick(10) < 8;
    QString outcome;
    bool opened = false;
    m_onAccount = [&](TFrmAccount* dialog) {
        opened = true;
        dialog->show();
        AccountDataset* periods = Mainmodule::MainDM->accountData();
        const qsizetype before = m_messages.size();
        if (create) {
            bool rolledOver = false;
            QObject::connect(dialog, &TFrmAccount::autoSchemeStarting, dialog, [&rolledOver] { rolledOver = true; });
            child<QPushButton>(dialog, "btNew")->click();
            child<QLineEdit>(dialog, "dbYm")->setText(ym);
            child<QCheckBox>(dialog, "AutoSchemeCb")->setChecked(tick);
            child<QPushButton>(dialog, "btSave")->click();
            // The roll-over's list of employees it could not write comes as a
            // warning of its own; what Save did besides shows in the rest.
            QList<Recorded> rest;
            bool listed = false;
            for (qsizetype i = before; i < m_messages.size(); ++i) {
                const Recorded& m = m_messages.at(i);
                if (rolledOver && nameOf(m.text).isEmpty() && m.flags == Platform::MB_ICONEXCLAMATION
                    && m.text.contains(u"排班未能生成"))
                    listed = true;
                else
                    rest << m;
            }
            if (periods->state() == AccountDataset::State::Browse && rest.isEmpty())
                outcome = rolledOver ? QStringLiteral("created with roll-over") : QStringLiteral("created");
            else if (!rest.isEmpty() && rest.last().text == Prjconst::_CanNotAccount)
                outcome = rolledOver ? QStringLiteral("refused at store after its roll-over (stored meanwhile)")
                                     : QStringLiteral("refused: month already stored");
            else
                outcome = refusalOf();
            if (listed)
                outcome += QStringLiteral(", roll-over listed failed employees");
            if (periods->state() == AccountDataset::State::Insert)
                child<QPushButton>(dialog, "btCancel")->click();
        } else {
            if (!periods->locate(ym, Qt::CaseSensitive)) {
                outcome = QStringLiteral("month not in this workstation's list");
            } else {
                child<QPushButton>(dialog, "btDel")->click();
                if (m_messages.size() > before)
                    outcome = refusalOf();
                else
                    // Listed again: the list read back after the delete holds it,
                    // stored again by another workstation in the meantime.
                    outcome = periods->locate(ym, Qt::CaseSensitive) ? QStringLiteral("deleted, listed again")
                                                                     : QStringLiteral("deleted");
            }
        }
        dialog->hide();
        return int(Platform::mrCancel);
    };
    begin();
    type(ownOperator(m_options.index), m_ownPasswords.first());
    child<QToolButton>(m_login.get(), "btnSel")->click();
    m_onAccount = nullptr;
    if (!opened)
        outcome = refusalOf();
    if (opened)
        m_ownFailures = 0;
    else if (outcome == u"_msgOpenAccout")
        ++m_ownFailures;
    finish(kind, outcome);
}

void Workstation::changeOwnPassword()
{
    auto dialog = std::make_unique<TFrmPassword>(nullptr);
    Password::FrmPassword = dialog.get();
    dialog->setUserName(ownOperator(m_options.index));
    const bool wrongOld = pick(5) == 0;
    const QString next = QStringLiteral("pw%1-%2").arg(m_options.index).arg(pick(100000));
    begin();
    child<QLineEdit>(dialog.get(), "edOldPassword")
        ->setText(wrongOld ? QStringLiteral("nicht") : m_ownPasswords.first());
    child<QLineEdit>(dialog.get(), "edNewPassword")->setText(next);
    child<QLineEdit>(dialog.get(), "edConfigPassword")->setText(next);
    child<QPushButton>(dialog.get(), "bitok")->click();
    QString outcome = refusalOf();
    if (outcome == u"_OldPassWordErr")
        ++m_ownFailures;
    else if (outcome != u"database or connection message")
        m_ownFailures = 0;
    if (outcome == u"_SPassWordChangeOk") {
        outcome = QStringLiteral("changed");
        m_ownPasswords = QStringList { next };
    } else if (outcome == u"database or connection message" && !wrongOld) {
        // The write may or may not have reached the server before the session ended.
        m_ownPasswords.prepend(next);
    }
    finish(QStringLiteral("password change"), outcome,
        { wrongOld ? QStringLiteral("_OldPassWordErr") : QStringLiteral("changed") });
}

// A new operator signs in, is sent to the password change, and signs in again with the new password.
bool Workstation::newOperatorSignIn(const QStringList& expected)
{
    if (m_nextNew > newOperatorsPerWorker)
        return false;
    const QString name = newOperator(m_options.index, m_nextNew);
    const QString chosen = QStringLiteral("new%1").arg(pick(100000));
    QString outcome;
    m_onPassword = [&](TFrmPassword* dialog) {
        const qsizetype before = m_messages.size();
        child<QLineEdit>(dialog, "edOldPassword")->setText(newOperatorPassword);
        child<QLineEdit>(dialog, "edNewPassword")->setText(chosen);
        child<QLineEdit>(dialog, "edConfigPassword")->setText(chosen);
        child<QPushButton>(dialog, "bitok")->click();
        outcome = m_messages.size() > before && m_messages.last().text == Prjconst::_SPassWordChangeOk
            ? QStringLiteral("changed")
            : QString();
        return dialog->result();
    };
    begin();
    type(name, newOperatorPassword);
    m_login->setResult(0);
    child<QPushButton>(m_login.get(), "btnOk")->click();
    m_onPassword = nullptr;
    if (outcome.isEmpty())
        outcome = refusalOf();
    finish(QStringLiteral("new operator, password change"), outcome, { QStringLiteral("changed") });
    if (outcome != u"changed") {
        // In doubt whether the change was stored: this operator is not used again.
        ++m_nextNew;
        return false;
    }
    ++m_nextNew;
    QStringList passwords { chosen };
    return signIn(QStringLiteral("sign-in, new operator"), name, &passwords, expected);
}

void Workstation::sideOperation()
{
    const int r = pick(12);
    if (r < 4)
        wrongPassword();
    else if (r < 8)
        periodOperation(true);
    else if (r < 11)
        periodOperation(false);
    else
        changeOwnPassword();
}

bool Workstation::completeSignIn()
{
    // Mostly this month's period; now and then one of the contested months,
    // which asks whether to go on with another month than this one.
    const bool other = pick(6) == 0;
    const QString chosen = choosePeriod(other ? m_months.at(pick(static_cast<int>(m_months.size()))) : m_thisMonth);
    // Another workstation may delete a contested month's period while this one
    // signs in to it: the sign-in is then refused, as it should be. This
    // month's period is never deleted.
    QStringList expected { QStringLiteral("signed in") };
    if (m_months.contains(chosen))
        expected << QStringLiteral("_AccountIsEmpty");
    const int r = pick(10);
    if (r < 2 && newOperatorSignIn(expected))
        return true;
    if (r < 4) {
        QStringList admin { QStringLiteral("admin") };
        return signIn(QStringLiteral("sign-in, shared operator"), QStringLiteral("admin"), &admin, expected);
    }
    return signIn(QStringLiteral("sign-in"), ownOperator(m_options.index), &m_ownPasswords, expected);
}

int Workstation::run()
{
    install();
    QElapsedTimer clock;
    clock.start();
    const qint64 end = qint64(m_options.seconds) * 1000;
    // Workstations do not all start in the same instant.
    pause(0, 1500);
    while (clock.elapsed() < end) {
        if (!startProgram()) {
            pause(200, 800);
            continue;
        }
        const int sides = pick(4);
        for (int i = 0; i < sides && clock.elapsed() < end; ++i) {
            sideOperation();
            pause(50, 250);
        }
        // The operator tries until signed in (a session the server ended is met here too).
        for (int attempt = 0; attempt < 3 && clock.elapsed() < end; ++attempt) {
            if (completeSignIn())
                break;
            pause(50, 250);
        }
        // Works a moment, then closes the program.
        pause(100, 400);
        endProgram();
    }
    writeResult();
    m_env.reset();
    return 0;
}

void Workstation::writeResult() const
{
    QJsonObject kinds;
    for (auto it = m_stats.cbegin(); it != m_stats.cend(); ++it) {
        QJsonObject outcomes;
        for (auto o = it->outcomes.cbegin(); o != it->outcomes.cend(); ++o)
            outcomes.insert(o.key(), o.value());
        kinds.insert(it.key(),
            QJsonObject { { QStringLiteral("ops"), it->ops }, { QStringLiteral("refusals"), it->refusals },
                { QStringLiteral("slowestMs"), it->slowestMs }, { QStringLiteral("slowestWhere"), it->slowestWhere },
                { QStringLiteral("outcomes"), outcomes } });
    }
    QJsonObject messages;
    for (auto it = m_messageCounts.cbegin(); it != m_messageCounts.cend(); ++it)
        messages.insert(it.key(), it.value());
    const QJsonObject result { { QStringLiteral("computer"), computerName(m_options.index) },
        { QStringLiteral("signIns"), m_signIns }, { QStringLiteral("kinds"), kinds },
        { QStringLiteral("messages"), messages }, { QStringLiteral("unclear"), QJsonArray::fromStringList(m_unclear) },
        { QStringLiteral("unexpected"), QJsonArray::fromStringList(m_unexpected) },
        { QStringLiteral("hung"), QJsonArray::fromStringList(m_hung) } };
    QFile file(m_options.resultFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(result).toJson()) < 0)
        qFatal("cannot write %s", qPrintable(m_options.resultFile));
}

} // namespace

int runWorker(const WorkerOptions& options)
{
    Workstation workstation(options);
    return workstation.run();
}

} // namespace Soak
