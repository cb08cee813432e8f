#include "platform/IniFile.h"
#include "platform/ui/MessageBox.h"
#include "platform/Registry.h"
#include "platform/System.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <stdexcept>
#include <sys/resource.h>

using namespace Platform;
using namespace Qt::StringLiterals;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}

// The message of the std::runtime_error that f throws; empty when it throws none.
template <typename F> QString failureOf(F f)
{
    try {
        f();
    } catch (const std::runtime_error& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

} // namespace

class TestPlatform : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        setRegistryFilePath(m_tmp.filePath(u"reg/registry.ini"_s));
    }

    void registryValues()
    {
        const QStringList values
            = { u"考勤管理 一卡通"_s, u"\"quoted\" 'single'"_s, u"a=b;c#d,e"_s, u"  spaces around  "_s,
                  u"C:\\Kolvane\\data\\"_s, QString(), u"@Variant(x)"_s, u"line1\nline2\ttab"_s, u"true"_s };
        {
            RegistryKey key(u"Software\\Kolvane\\Tavrel"_s, true);
            QVERIFY(key.isOpen());
            for (int i = 0; i < values.size(); ++i)
                key.writeString(u"v%1"_s.arg(i), values[i]);
        }
        const RegistryKey key(u"Software\\Kolvane\\Tavrel"_s, false);
        QVERIFY(key.isOpen());
        for (int i = 0; i < values.size(); ++i)
            QCOMPARE(key.readString(u"v%1"_s.arg(i)), values[i]);
        QCOMPARE(key.readString(u"absent"_s), QString());
        QVERIFY(RegistryKey(u"Software\\Kolvane"_s, false).isOpen());

        // A sibling key with the same value name keeps its own value.
        RegistryKey(u"Software\\Kolvane\\Other"_s, true).writeString(u"v0"_s, u"other"_s);
        QCOMPARE(key.readString(u"v0"_s), values[0]);
        QCOMPARE(RegistryKey(u"Software\\Kolvane\\Other"_s, false).readString(u"v0"_s), u"other"_s);
        QCOMPARE(RegistryKey(u"Software\\Kolvane\\Other"_s, false).readString(u"v1"_s), QString());

        const RegistryKey missing(u"Software\\Kolvane\\Missing"_s, false);
        QVERIFY(!missing.isOpen());
        QCOMPARE(missing.readString(u"v0"_s), QString());
        QVERIFY(!RegistryKey(u"Software\\Kolv"_s, false).isOpen());
    }

    void registryDefaultLocation()
    {
        const QByteArray oldXdg = qgetenv("XDG_CONFIG_HOME");
        const QString config = m_tmp.filePath(u"xdg"_s);
        qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
        setRegistryFilePath(QString());
        const QString path = registryFilePath();
        RegistryKey(u"Software\\X"_s, true).writeString(u"n"_s, u"v"_s);
        qputenv("XDG_CONFIG_HOME", oldXdg);
        setRegistryFilePath(m_tmp.filePath(u"reg/registry.ini"_s));

        QCOMPARE(path, config + u"/kolvane/registry.ini"_s);
        QVERIFY(QFile::exists(path));
    }

    void registryWriteFailure()
    {
        const QString good = registryFilePath();
        RegistryKey key(u"Software\\Fail"_s, true);
        key.writeString(u"n"_s, u"old"_s);
        const QByteArray before = readAll(good);

        // The directory cannot be created: its parent is a file.
        writeAll(m_tmp.filePath(u"afile"_s), "x");
        const QString bad = m_tmp.filePath(u"afile/registry.ini"_s);
        setRegistryFilePath(bad);
        const QString error = failureOf([&] { key.writeString(u"n"_s, u"new"_s); });
        setRegistryFilePath(good);
        QVERIFY2(error.contains(bad), qPrintable(error));
        QCOMPARE(readAll(good), before);
        QCOMPARE(key.readString(u"n"_s), u"old"_s);
    }

    void registryMalformedFile()
    {
        // Junk where the file should be (a crash or a full disk while it was
        // written): it reads as empty, and the next write keeps it beside the new file.
        const QString path = m_tmp.filePath(u"damaged/registry.ini"_s);
        QVERIFY(QDir().mkpath(m_tmp.filePath(u"damaged"_s)));
        setRegistryFilePath(path);
        setClock([] { return QDateTime(QDate(2026, 3, 15), QTime(9, 30)); });
        QRandomGenerator random(14);
        QByteArray junk(4096, 0);
        for (char& byte : junk)
            byte = static_cast<char>(random.bounded(256));
        const QString key = u"Software\\Kolvane"_s;
        const QString kept = path + u".damaged-20260315-093000"_s;
        for (const QString& keptAs : { kept, kept + u"-2"_s }) {
            writeAll(path, junk);
            QVERIFY(!RegistryKey(key, false).isOpen());
            QCOMPARE(RegistryKey(key, true).readString(u"Ym"_s), QString());
            QTest::ignoreMessage(QtWarningMsg,
                QRegularExpression(QRegularExpression::escape(path) + u".*"_s + QRegularExpression::escape(keptAs)));
            RegistryKey written(key, true);
            written.writeString(u"Ym"_s, u"2026-03"_s);
            written.writeString(u"user_name"_s, u"张三"_s);
            QCOMPARE(readAll(keptAs), junk);
            QCOMPARE(RegistryKey(key, false).readString(u"Ym"_s), u"2026-03"_s);
            QCOMPARE(RegistryKey(key, false).readString(u"user_name"_s), u"张三"_s);
            QVERIFY(!readAll(path).contains(junk.left(64)));
        }
        QCOMPARE(readAll(kept), junk); // the second damaged file did not replace the first

        // Only a file that cannot be written at all stops the write.
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path));
        const QString error = failureOf([&] { RegistryKey(key, true).writeString(u"Ym"_s, u"2026-04"_s); });
        setClock({});
        setRegistryFilePath(m_tmp.filePath(u"reg/registry.ini"_s));
        QVERIFY2(error.startsWith(u"无法写入注册表文件 "_s + path), qPrintable(error));
    }

    void iniInTheWindowsCodePage()
    {
        // Written on a Chinese Windows: GB18030, not valid UTF-8. "俔" ends in the
        // byte of ']' and "乗" in that of '\\'.
        const auto gb18030 = [](const QString& text) -> QByteArray { return QStringEncoder("GB18030").encode(text); };
        const QString path = m_tmp.filePath(u"gb/Tavrel.ini"_s);
        QVERIFY(QDir().mkpath(m_tmp.filePath(u"gb"_s)));
        const QByteArray original = gb18030(u"; 考勤系统配置\r\n"
                                            u"[数据库俔]\r\n"
                                            u"服务器 = 某某公司乗\\考勤\r\n"
                                            u"[SystemConfigure]\r\n"
                                            u"Statu=STAR20250101\r\n"
                                            u"备注=旧\r\n"_s);
        writeAll(path, original);
        IniFile ini(path);
        QCOMPARE(ini.readString(u"数据库俔"_s, u"服务器"_s), u"某某公司乗\\考勤"_s);
        QCOMPARE(ini.readString(u"systemconfigure"_s, u"备注"_s), u"旧"_s);

        ini.writeString(u"SystemConfigure"_s, u"Statu"_s, u"STAR20260315"_s);
        QByteArray expected = original;
        expected.replace("STAR20250101", "STAR20260315");
        QCOMPARE(readAll(path), expected);
        ini.writeString(u"SystemConfigure"_s, u"操作员"_s, u"张三"_s);
        ini.writeString(u"数据库俔"_s, u"服务器"_s, u"新服务器"_s);
        expected += gb18030(u"操作员=张三\r\n"_s);
        expected.replace(gb18030(u"某某公司乗\\考勤"_s), gb18030(u"新服务器"_s));
        QCOMPARE(readAll(path), expected);
        QCOMPARE(ini.readString(u"SystemConfigure"_s, u"操作员"_s), u"张三"_s);
    }

    void iniPreservesOtherLines()
    {
        const QString path = m_tmp.filePath(u"Tavrel.ini"_s);
        const QByteArray original = "; 考勤系统配置\r\n"
                                    "[Database]\r\n"
                                    "Server = 127.0.0.1\r\n"
                                    "Name=考勤\n"
                                    "# comment\r\n"
                                    "\r\n"
                                    "[System]\n"
                                    "Company=  某某公司  \n"
                                    "Port=1433\n"
                                    "port=9999\n"
                                    "\n"
                                    "[Other]\n"
                                    "key=value";
        writeAll(path, original);
        IniFile ini(path);
        QCOMPARE(ini.readString(u"system"_s, u" COMPANY "_s), u"某某公司"_s);
        QCOMPARE(ini.readString(u"SYSTEM"_s, u"port"_s), u"1433"_s);
        QCOMPARE(ini.readString(u"Database"_s, u"Name"_s), u"考勤"_s);
        QCOMPARE(ini.readString(u"Database"_s, u"Port"_s), QString());
        QCOMPARE(ini.readString(u"Nowhere"_s, u"key"_s), QString());

        ini.writeString(u"system"_s, u"PORT"_s, u"2000"_s);
        QCOMPARE(readAll(path), QByteArray(original).replace("Port=1433\n", "Port=2000\n"));

        ini.writeString(u"Database"_s, u"Server"_s, u"服务器\\SQL"_s);
        ini.writeString(u"Database"_s, u"User"_s, u"sa"_s);
        ini.writeString(u"Other"_s, u"k2"_s, u"v2"_s);
        ini.writeString(u"新节"_s, u"K"_s, u"值"_s);
        QByteArray expected = original;
        expected.replace("Port=1433", "Port=2000").replace("127.0.0.1", "服务器\\SQL");
        expected.replace("# comment\r\n", "# comment\r\nUser=sa\r\n");
        expected += "\r\nk2=v2\r\n[新节]\r\nK=值\r\n";
        QCOMPARE(readAll(path), expected);
        QCOMPARE(ini.readString(u"新节"_s, u"k"_s), u"值"_s);
        QCOMPARE(ini.readString(u"database"_s, u"server"_s), u"服务器\\SQL"_s);
    }

    void iniCreatesAndFailsSafely()
    {
        const QString path = m_tmp.filePath(u"new.ini"_s);
        IniFile ini(path);
        QCOMPARE(ini.readString(u"S"_s, u"K"_s), QString());
        ini.writeString(u"S"_s, u"K"_s, u"V"_s);
        QCOMPARE(readAll(path), QByteArray("[S]\nK=V\n"));
        QCOMPARE(ini.readString(u"s"_s, u"k"_s), u"V"_s);

        // A full disk (here: a file size limit, which binds root too) leaves the old file.
        const QByteArray before = readAll(path);
        rlimit oldLimit {};
        getrlimit(RLIMIT_FSIZE, &oldLimit);
        rlimit lowLimit = oldLimit;
        lowLimit.rlim_cur = 512;
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &lowLimit);
        const QString fullDisk = failureOf([&] { ini.writeString(u"S"_s, u"K"_s, QString(8192, u'x')); });
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        QVERIFY2(fullDisk.contains(path), qPrintable(fullDisk));
        QCOMPARE(readAll(path), before);

        writeAll(m_tmp.filePath(u"afile"_s), "x");
        const QString bad = m_tmp.filePath(u"afile/Tavrel.ini"_s);
        const QString error = failureOf([&] { IniFile(bad).writeString(u"S"_s, u"K"_s, u"V"_s); });
        QVERIFY2(error.contains(bad), qPrintable(error));
    }

    void codePages_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("codePage");
        const std::pair<const char*, int> rows[] = { { "zh_CN", 936 }, { "zh_SG", 936 }, { "zh_CN.UTF-8", 936 },
            { "zh-CN", 936 }, { "zh_Hans_CN", 936 }, { "zh", 936 }, { "zh_TW", 950 }, { "zh_HK", 950 },
            { "zh_MO", 950 }, { "zh_Hant_TW", 950 }, { "de_DE", 1252 }, { "en_US", 1252 }, { "en_US.UTF-8", 1252 },
            { "fr_FR@euro", 1252 }, { "ru_RU", 1251 }, { "uk_UA", 1251 }, { "sr_RS", 1251 }, { "sr_RS@latin", 1250 },
            { "sr_Latn_RS", 1250 }, { "pl_PL", 1250 }, { "ja_JP", 932 }, { "ko_KR", 949 }, { "th_TH", 874 },
            { "el_GR", 1253 }, { "tr_TR", 1254 }, { "az_AZ", 1254 }, { "he_IL", 1255 }, { "ar_SA", 1256 },
            { "fa_IR", 1256 }, { "lt_LT", 1257 }, { "vi_VN", 1258 }, { "C", 1252 }, { "C.UTF-8", 1252 },
            { "POSIX", 1252 }, { "", 1252 } };
        for (const auto& [locale, codePage] : rows)
            QTest::newRow(*locale ? locale : "empty") << QString::fromLatin1(locale) << codePage;
    }

    void codePages()
    {
        QFETCH(QString, locale);
        QFETCH(int, codePage);
        QCOMPARE(codePageForLocale(locale), codePage);
    }

    void ansiCodePageFromEnvironment()
    {
        qputenv("LC_ALL", "");
        qputenv("LC_CTYPE", "zh_TW.UTF-8");
        qputenv("LANG", "ru_RU.UTF-8");
        const int fromCtype = GetACP();
        qputenv("LC_ALL", "ja_JP.UTF-8");
        const int fromAll = GetACP();
        setAnsiCodePage(936);
        const int overridden = GetACP();
        setAnsiCodePage(0);
        const int restored = GetACP();
        QCOMPARE(fromCtype, 950);
        QCOMPARE(fromAll, 932);
        QCOMPARE(overridden, 936);
        QCOMPARE(restored, 932);
    }

    void computerNames()
    {
        QCOMPARE(computerNameFromHostName(u"office-pc"_s), u"OFFICE-PC"_s);
        QCOMPARE(computerNameFromHostName(u"build01.example.com"_s), u"BUILD01"_s);
        QCOMPARE(computerNameFromHostName(u"averyveryverylonghostname"_s), u"AVERYVERYVERYLO"_s);
        QCOMPARE(computerNameFromHostName(QString()), QString());
        // Three bytes a character: five fit, and a sixth is not cut in half.
        QCOMPARE(computerNameFromHostName(u"考勤服务器一号.lan"_s), u"考勤服务器"_s);
        QCOMPARE(computerNameFromHostName(u"abcdefghijklm考"_s), u"ABCDEFGHIJKLM"_s);

        setComputerName(u"FRONTDESK"_s);
        QCOMPARE(GetComputerName(), u"FRONTDESK"_s);
        setComputerName(QString());
        QCOMPARE(GetComputerName(), computerNameFromHostName(QSysInfo::machineHostName()));
    }

    void systemSeams()
    {
        QVERIFY(!GetOSVersion().isEmpty());
        QVERIFY(!GetOSVersion().contains(u"XP"_s));

        // KOLVANE_HOME, else the directory fixed at build time, else the executable's.
        const QByteArray home = qgetenv("KOLVANE_HOME");
        qunsetenv("KOLVANE_HOME");
        const QString builtIn = QStringLiteral(KOLVANE_SUITE_DIR);
        QCOMPARE(suiteDirectory(),
            builtIn.isEmpty() ? QCoreApplication::applicationDirPath() + u'/' : QDir(builtIn).absolutePath() + u'/');
        qputenv("KOLVANE_HOME", "/srv/kolvane");
        QCOMPARE(suiteDirectory(), u"/srv/kolvane/"_s);
        qputenv("KOLVANE_HOME", "site/");
        QCOMPARE(suiteDirectory(), QDir::currentPath() + u"/site/"_s);
        setSuiteDirectory(u"/opt/kolvane"_s);
        QCOMPARE(suiteDirectory(), u"/opt/kolvane/"_s);
        setSuiteDirectory(QString());
        QCOMPARE(suiteDirectory(), QDir::currentPath() + u"/site/"_s);
        if (home.isNull())
            qunsetenv("KOLVANE_HOME");
        else
            qputenv("KOLVANE_HOME", home);

        const QDateTime fixed(QDate(2024, 2, 29), QTime(23, 59, 30));
        setClock([&] { return fixed; });
        QCOMPARE(now(), fixed);
        QCOMPARE(today(), QDate(2024, 2, 29));
        setClock({});
        QVERIFY(qAbs(now().secsTo(QDateTime::currentDateTime())) < 5);
    }

    void groupSharedFiles()
    {
        // A file in a directory its group may write becomes group-writable; elsewhere
        // nothing changes.
        QTemporaryDir dir;
        const QString shared = dir.filePath(u"shared"_s);
        const QString own = dir.filePath(u"own"_s);
        QVERIFY(QDir().mkdir(shared) && QDir().mkdir(own));
        QVERIFY(QFile::setPermissions(shared,
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::WriteGroup
                | QFile::ExeGroup));
        QVERIFY(QFile::setPermissions(
            own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup));
        const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
        for (const QString& d : { shared, own }) {
            writeAll(d + u"/Tavrel.ini"_s, "[SystemConfigure]\n");
            QVERIFY(QFile::setPermissions(d + u"/Tavrel.ini"_s, ownerOnly));
            shareWithDirectoryGroup(d + u"/Tavrel.ini"_s);
        }
        const QFile::Permissions groupBits = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup;
        QCOMPARE(QFile::permissions(shared + u"/Tavrel.ini"_s) & groupBits, QFile::ReadGroup | QFile::WriteGroup);
        QCOMPARE(QFile::permissions(own + u"/Tavrel.ini"_s) & groupBits, QFile::Permissions());
        shareWithDirectoryGroup(shared + u"/missing"_s);
        QVERIFY(!QFile::exists(shared + u"/missing"_s));
    }

    void messageBoxes()
    {
        QStringList seen;
        setMessageBoxHandler([&](const QString& text, const QString& caption, int flags) {
            seen << text << caption << QString::number(flags);
            return IDNO;
        });
        QCOMPARE(MessageBox(u"删除吗？"_s, u"提示"_s, MB_YESNO | MB_ICONQUESTION), IDNO);
        QCOMPARE(seen, QStringList({ u"删除吗？"_s, u"提示"_s, u"36"_s }));
        setMessageBoxHandler({});

        // The real box: answer it as a person would by clicking a button.
        QString title, buttons;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        auto answerWith = [&](const QString& buttonText) {
            QTimer::singleShot(0, [&, buttonText] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                title = box->windowTitle();
                icon = box->icon();
                buttons.clear();
                for (QAbstractButton* button : box->buttons())
                    buttons += button->text() + u'|';
                for (QAbstractButton* button : box->buttons()) {
                    if (button->text() == buttonText)
                        button->click();
                }
            });
        };
        answerWith(u"否(&N)"_s);
        QCOMPARE(MessageBox(u"删除吗？"_s, u"提示"_s, MB_YESNO | MB_ICONQUESTION), IDNO);
        QCOMPARE(title, u"提示"_s);
        QCOMPARE(icon, QMessageBox::Question);
        QVERIFY2(buttons.contains(u"是(&Y)|"_s) && buttons.contains(u"否(&N)|"_s), qPrintable(buttons));
        answerWith(u"是(&Y)"_s);
        QCOMPARE(MessageBox(u"继续？"_s, u"提示"_s, MB_YESNO | MB_ICONQUESTION), IDYES);
        answerWith(u"确定"_s);
        QCOMPARE(MessageBox(u"出错了"_s, u"错误"_s, MB_ICONSTOP), IDOK);
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(buttons, u"确定|"_s);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
