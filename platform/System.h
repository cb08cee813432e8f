#pragma once
// Facts of the machine the program asks Windows for, with test seams.
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <functional>

namespace Platform {

// ANSI code page Windows would report for a locale name such as "zh_CN"
// (936), "zh_TW" (950), "de_DE" (1252)...
int codePageForLocale(const QString& localeName);
// The code page for the user's locale (LC_ALL / LC_CTYPE / LANG via QLocale::system()),
// or the value set by setAnsiCodePage.
int GetACP();
void setAnsiCodePage(int codePage); // 0: back to the real one

// NetBIOS-style computer name: first label of the host name, upper case, at most
// 15 bytes; empty when unavailable.
QString computerNameFromHostName(const QString& hostName);
QString GetComputerName();
void setComputerName(const QString& name); // null QString: back to the real one

// Operating system version text; never contains "XP" on this platform.
QString GetOSVersion();
void setOSVersion(const QString& text); // null QString: back to the real one

// SetLocaleInfoA stand-in: records its calls and changes nothing.
struct LocaleInfoCall
{
    unsigned locale;
    unsigned type;
    QString value;
};
bool SetLocaleInfoA(unsigned locale, unsigned type, const QString& value);
QList<LocaleInfoCall> localeInfoCalls();
void clearLocaleInfoCalls();

// The suite directory, where the database file, its old name and Tavrel.ini are
// looked for and written, ending in a path separator: $KOLVANE_HOME when set,
// else the directory fixed when the program was built (an installed program's
// /var/lib/kolvane), else the directory of the running executable.
QString suiteDirectory();
void setSuiteDirectory(const QString& dir); // empty: back to the real one

// A file created in a directory that its group may write (the suite directory of
// an installed program) is made readable and writable by the group too, so that
// every operator of the machine can use it, whoever created it. Does nothing
// elsewhere, or when the caller does not own the file.
void shareWithDirectoryGroup(const QString& file);

// The clock.
QDateTime now();
QDate today();
void setClock(std::function<QDateTime()> clock); // empty: back to the real clock

// Under an English locale, the program's English texts (and Qt's own English
// plural forms); true when they were installed. Every other locale: Chinese.
bool installTranslations(const QLocale& locale);

} // namespace Platform
