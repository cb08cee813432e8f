#pragma once
// CSV as spreadsheet programs write and read it.
//
// Reading takes what a planner's spreadsheet saves: UTF-8 with or without a
// byte-order mark, UTF-16 with one, or GB18030 (the default of a Chinese
// Windows), told apart by the bytes; fields separated by commas, semicolons
// or tabs, whichever the first line uses most; quoted fields that hold
// separators, quotes ("") and line breaks.
// Writing gives UTF-8 with a byte-order mark, commas and CRLF line ends, so
// that a spreadsheet opens it as Unicode.
//
// A cell a spreadsheet would run as a formula (one that begins with = + - @,
// a tab or a carriage return) is written with a single quote before it, which
// the spreadsheet shows as text; reading takes that one quote away again. A
// cell that already begins with quotes before such a character gets one more,
// so that what is written and read back is always the text itself, and a
// quote typed before anything else ('t Hooft) stays.
#include <QByteArray>
#include <QCoreApplication>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class QIODevice;

namespace Csv {

// Files larger than this are refused unread: no planner's sheet comes near.
inline constexpr qint64 kMaxFileBytes = 100 * 1000 * 1000;

// The cell as written: a quote before text a spreadsheet would run.
QString guard(const QString& text);
// The cell as read: the quote guard() puts there taken away.
QString unguard(const QString& text);

struct Table
{
    QList<QStringList> records; // the first one is the header
    QString encoding; // "UTF-8", "UTF-16", "GB18030"
    QChar separator;
};

class Reader
{
    Q_DECLARE_TR_FUNCTIONS(Csv)
public:
    // The text of a file's bytes; the encoding's name in `encoding`. Nothing
    // when the bytes are neither UTF-8 nor GB18030.
    static std::optional<QString> decode(const QByteArray& bytes, QString* encoding = nullptr);
    // The separator the text's first line uses most (',' when it has none).
    static QChar separatorOf(const QString& text);
    // The records of the text, each field unguard()ed; an unterminated quote
    // runs to the end.
    static QList<QStringList> parse(const QString& text, QChar separator);
    // The whole file. Throws std::runtime_error, saying why, when it cannot
    // be read or decoded, or is larger than kMaxFileBytes.
    static Table readFile(const QString& path);
};

// A day as a spreadsheet writes it: "2026-03-01", "2026/3/1", either with a
// time of day after a blank. An invalid date for any other text.
QDate parseDate(const QString& text);

class Writer
{
    Q_DECLARE_TR_FUNCTIONS(Csv)
public:
    // Writes to the file `path`, or to standard output when it is empty.
    explicit Writer(const QString& path);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void record(const QStringList& fields);
    // Writes what is pending. Throws std::runtime_error when the file cannot
    // be written.
    void finish();

    // A field guard()ed, and quoted where a spreadsheet needs it.
    static QString field(const QString& cell);
    // A record's line: its fields separated by commas, and CRLF.
    static QString line(const QStringList& fields);

private:
    void flush();

    QIODevice* m_out = nullptr;
    QString m_path;
    QString m_text;
};

} // namespace Csv
