#include "platform/System.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QSysInfo>
#include <QTranslator>

#include <sys/stat.h>
#include <unistd.h>

// The suite directory fixed at build time; empty: the executable's directory.
#ifndef KOLVANE_SUITE_DIR
#define KOLVANE_SUITE_DIR ""
#endif

namespace Platform {

namespace {

struct Overrides
{
    int codePage = 0;
    QString computerName;
    QString osVersion;
    QString suiteDir;
    std::function<QDateTime()> clock;
    QList<LocaleInfoCall> localeInfoCalls;
};

Overrides& overrides()
{
    static Overrides o;
    return o;
}

// Windows picks the ANSI code page by writing system first, by language second.
struct ScriptPage
{
    QLocale::Script script;
    int codePage;
};
constexpr ScriptPage scriptPages[] = {
    { QLocale::SimplifiedHanScript, 936 },
    { QLocale::TraditionalHanScript, 950 },
    { QLocale::JapaneseScript, 932 },
    { QLocale::KoreanScript, 949 },
    { QLocale::ThaiScript, 874 },
    { QLocale::CyrillicScript, 1251 },
    { QLocale::GreekScript, 1253 },
    { QLocale::HebrewScript, 1255 },
    { QLocale::ArabicScript, 1256 },
};

struct LanguagePage
{
    QLocale::Language language;
    int codePage;
};
constexpr LanguagePage languagePages[] = {
    { QLocale::Czech, 1250 },
    { QLocale::Polish, 1250 },
    { QLocale::Hungarian, 1250 },
    { QLocale::Slovak, 1250 },
    { QLocale::Slovenian, 1250 },
    { QLocale::Croatian, 1250 },
    { QLocale::Romanian, 1250 },
    { QLocale::Albanian, 1250 },
    { QLocale::Bosnian, 1250 },
    { QLocale::Serbian, 1250 }, // Latin; Cyrillic Serbian is caught by script
    { QLocale::Turkish, 1254 },
    { QLocale::Azerbaijani, 1254 },
    { QLocale::Uzbek, 1254 },
    { QLocale::Estonian, 1257 },
    { QLocale::Latvian, 1257 },
    { QLocale::Lithuanian, 1257 },
    { QLocale::Vietnamese, 1258 },
};

} // namespace

int codePageForLocale(const QString& localeName)
{
    // POSIX names carry ".codeset" and "@modifier"; QLocale wants neither,
    // but "@latin" tells Latin from Cyrillic Serbian.
    QString name = localeName.trimmed();
    const bool latinModifier = name.endsWith(QStringLiteral("@latin"), Qt::CaseInsensitive);
    name = name.section(QLatin1Char('@'), 0, 0).section(QLatin1Char('.'), 0, 0);
    if (name.isEmpty())
        return 1252;

    const QLocale locale(name);
    const QLocale::Script script = latinModifier ? QLocale::LatinScript : locale.script();
    for (const ScriptPage& entry : scriptPages) {
        if (entry.script == script)
            return entry.codePage;
    }
    for (const LanguagePage& entry : languagePages) {
        if (entry.language == locale.language())
            return entry.codePage;
    }
    return 1252;
}

int GetACP()
{
    if (overrides().codePage != 0)
        return overrides().codePage;
    for (const char* variable : { "LC_ALL", "LC_CTYPE", "LANG" }) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return codePageForLocale(value);
    }
    return codePageForLocale(QLocale::system().name());
}

void setAnsiCodePage(int codePage)
{
    overrides().codePage = codePage;
}

QString computerNameFromHostName(const QString& hostName)
{
    QString name = hostName.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    // NetBIOS names hold 15 bytes; drop whole characters until it fits.
    while (name.toUtf8().size() > 15)
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
    return name;
}

QString GetComputerName()
{
    if (!overrides().computerName.isNull())
        return overrides().computerName;
    return computerNameFromHostName(QSysInfo::machineHostName());
}

void setComputerName(const QString& name)
{
    overrides().computerName = name;
}

QString GetOSVersion()
{
    if (!overrides().osVersion.isNull())
        return overrides().osVersion;
    // Forms treat any text with "XP" in it as Windows XP; no Linux is that.
    QString text = QSysInfo::prettyProductName() + QLatin1Char(' ') + QSysInfo::kernelVersion();
    return text.replace(QStringLiteral("XP"), QStringLiteral("Xp"));
}

void setOSVersion(const QString& text)
{
    overrides().osVersion = text;
}

bool SetLocaleInfoA(unsigned locale, unsigned type, const QString& value)
{
    overrides().localeInfoCalls.append({ locale, type, value });
    return true;
}

QList<LocaleInfoCall> localeInfoCalls()
{
    return overrides().localeInfoCalls;
}

void clearLocaleInfoCalls()
{
    overrides().localeInfoCalls.clear();
}

QString suiteDirectory()
{
    QString dir = overrides().suiteDir;
    if (dir.isEmpty())
        dir = qEnvironmentVariable("KOLVANE_HOME");
    if (dir.isEmpty())
        dir = QStringLiteral(KOLVANE_SUITE_DIR);
    if (dir.isEmpty())
        dir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    dir = QDir(dir).absolutePath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

void setSuiteDirectory(const QString& dir)
{
    overrides().suiteDir = dir;
}

void shareWithDirectoryGroup(const QString& file)
{
    const QByteArray path = QFile::encodeName(file);
    const QByteArray dir = QFile::encodeName(QFileInfo(file).absolutePath());
    struct stat dirStat = {};
    struct stat fileStat = {};
    if (::stat(dir.constData(), &dirStat) != 0 || (dirStat.st_mode & S_IWGRP) == 0)
        return;
    if (::stat(path.constData(), &fileStat) != 0 || fileStat.st_uid != ::geteuid())
        return;
    const mode_t wanted = fileStat.st_mode | S_IRGRP | S_IWGRP;
    if (wanted != fileStat.st_mode)
        ::chmod(path.constData(), wanted & 07777);
}

QDateTime now()
{
    return overrides().clock ? overrides().clock() : QDateTime::currentDateTime();
}

QDate today()
{
    return now().date();
}

void setClock(std::function<QDateTime()> clock)
{
    overrides().clock = std::move(clock);
}

bool installTranslations(const QLocale& locale)
{
    if (QLocale(locale.uiLanguages().value(0)).language() != QLocale::English)
        return false;
    auto* own = new QTranslator(QCoreApplication::instance());
    if (!own->load(QStringLiteral(":/i18n/kolvane_en.qm"))) {
        delete own;
        return false;
    }
    QCoreApplication::installTranslator(own);
    // Qt's texts are English without a translation; its own English file adds
    // the plural forms. Without it the program is still English.
    auto* qt = new QTranslator(QCoreApplication::instance());
    if (qt->load(QLocale(QLocale::English), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
    return true;
}

} // namespace Platform
