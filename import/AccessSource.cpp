#include "import/AccessSource.h"

#include "host/AccessFile.h"

// Debian's mdbtools.h includes <glib.h> inside its extern "C" block, which
// glib's C++ templates do not survive: glib comes first.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QtEndian>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace Import {

namespace {

const unsigned char* bytes(const void* p)
{
    return static_cast<const unsigned char*>(p);
}

// Row offsets in a data page carry flags in their top bits.
constexpr int kOffsetMask = 0x1fff;
constexpr int kRowDeleted = 0x4000;
// Column types libmdb 1.0 has no name for.
constexpr int kExtendedDateTime = 0x14;
// A long value (memo, OLE) starts with its length and flags, then the page and
// row of its first part; an inline value follows its 12-byte header.
constexpr quint32 kLongInline = 0x80000000;
constexpr quint32 kLongSinglePage = 0x40000000;

// A converter from a code page (or UTF-16LE) to UTF-8; -1 when iconv has none.
iconv_t openConverter(const QByteArray& from)
{
    return iconv_open("UTF-8", from.constData());
}

QByteArray iconvName(int codePage)
{
    switch (codePage) {
    case 20866:
        return "KOI8-R";
    case 65001:
        return "UTF-8";
    default:
        // glibc knows the Windows code pages as CPnnn, with Microsoft's own
        // tables: CP936 is GBK with the euro sign at 0x80 (not GB18030),
        // CP932 and CP950 have Microsoft's extensions to Shift JIS and Big5.
        return "CP" + QByteArray::number(codePage);
    }
}

// Text in a single- or double-byte code page, through `converter`. A byte
// sequence the code page does not have becomes U+FFFD.
QString codePageText(iconv_t converter, const char* in, size_t size)
{
    QByteArray out;
    out.resize(qsizetype(size * 4 + 16));
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in);
    size_t left = size;
    char* dst = out.data();
    size_t room = size_t(out.size());
    while (left > 0) {
        if (iconv(converter, &src, &left, &dst, &room) != size_t(-1))
            break;
        if (errno == E2BIG)
            break; // cannot happen: four bytes of UTF-8 per input byte
        // An invalid or cut sequence: one replacement character, go on.
        ++src;
        --left;
        if (room >= 3) {
            std::memcpy(dst, "\xEF\xBF\xBD", 3);
            dst += 3;
            room -= 3;
        }
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(dst - out.data());
    return QString::fromUtf8(out);
}

// Text of Jet 4 and ACE files: UTF-16LE, or "compressed" when it starts with
// FF FE: one byte per character (U+0000 to U+00FF) until a zero byte switches
// to two bytes per character, and the next zero byte back.
QString unicodeText(const unsigned char* p, size_t size)
{
    QString out;
    if (size >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        out.reserve(qsizetype(size));
        bool compressed = true;
        for (size_t i = 2; i < size;) {
            if (p[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                out += QChar(char16_t(p[i]));
                ++i;
            } else if (i + 1 < size) {
                out += QChar(char16_t(p[i] | (p[i + 1] << 8)));
                i += 2;
            } else {
                break;
            }
        }
        return out;
    }
    out.resize(qsizetype(size / 2));
    for (size_t i = 0; i < size / 2; ++i)
        out[qsizetype(i)] = QChar(char16_t(p[2 * i] | (p[2 * i + 1] << 8)));
    return out;
}

// An unsigned magnitude with `scale` decimal places as the shortest exact
// decimal text: no trailing zeros after the point, no point for a whole number.
QString decimalText(unsigned __int128 magnitude, bool negative, int scale)
{
    QByteArray digits;
    do {
        digits.prepend(char('0' + int(magnitude % 10)));
        magnitude /= 10;
    } while (magnitude > 0);
    while (digits.size() <= scale)
        digits.prepend('0');
    if (scale > 0) {
        digits.insert(digits.size() - scale, '.');
        while (digits.endsWith('0'))
            digits.chop(1);
        if (digits.endsWith('.'))
            digits.chop(1);
    }
    if (negative && digits != "0")
        digits.prepend('-');
    return QString::fromLatin1(digits);
}

// A stored date: days since 1899-12-30 in the whole part (negative before it),
// the time of day in the fraction, whatever the sign; to the millisecond.
QVariant dateValue(double stored)
{
    // Access keeps years 100 to 9999.
    if (!std::isfinite(stored) || stored < -657435.0 || stored >= 2958466.0)
        return {};
    const double whole = std::trunc(stored);
    qint64 ms = std::llround(std::fabs(stored - whole) * 86400000.0);
    QDate date = QDate(1899, 12, 30).addDays(qint64(whole));
    if (ms >= 86400000) {
        ms -= 86400000;
        date = date.addDays(1);
    }
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(ms)), Qt::UTC);
}

template <class T> T stored(const void* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return qFromLittleEndian(value);
}

double storedDouble(const void* p)
{
    const quint64 bits = stored<quint64>(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

float storedFloat(const void* p)
{
    const quint32 bits = stored<quint32>(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Currency: a count of ten-thousandths.
QString currencyText(qint64 value)
{
    const unsigned __int128 magnitude = value < 0 ? 0 - static_cast<unsigned __int128>(value) : value;
    return decimalText(magnitude, value < 0, 4);
}

// A decimal: a sign byte, then four 32-bit words, the most significant first,
// each little-endian.
QString numericText(const void* p, int scale)
{
    unsigned __int128 magnitude = 0;
    for (int w = 0; w < 4; ++w)
        magnitude = (magnitude << 32) | stored<quint32>(bytes(p) + 1 + 4 * w);
    return decimalText(magnitude, *bytes(p) & 0x80, scale);
}

} // namespace

struct AccessSource::Private
{
    MdbHandle* mdb = nullptr;
    iconv_t text = iconv_t(-1); // Jet 3 values
    int codePage = 0;
    QString path;

    ~Private()
    {
        if (text != iconv_t(-1))
            iconv_close(text);
        if (mdb)
            mdb_close(mdb);
    }

    bool jet3() const { return mdb->f->jet_version == MDB_VER_JET3; }

    QString textOf(const void* p, size_t size) const
    {
        return jet3() ? codePageText(text, static_cast<const char*>(p), size) : unicodeText(bytes(p), size);
    }

    // A memo or OLE value whole: inline, on one page, or in a chain of
    // pages. Reading other pages leaves the current data page in place
    // (libmdb reads them into its second buffer). False for a value whose
    // pages cannot be followed.
    bool longValue(const void* field, int size, QByteArray& out) const
    {
        out.clear();
        if (size < MDB_MEMO_OVERHEAD)
            return size == 0;
        const quint32 header = stored<quint32>(field);
        const quint32 length = header & 0x3fffffff;
        if (header & kLongInline) {
            out = QByteArray(static_cast<const char*>(field) + MDB_MEMO_OVERHEAD, size - MDB_MEMO_OVERHEAD);
            return true;
        }
        qint32 pageRow = stored<qint32>(bytes(field) + 4);
        void* buf = nullptr;
        int start = 0;
        size_t len = 0;
        if (header & kLongSinglePage) {
            if (mdb_find_pg_row(mdb, pageRow, &buf, &start, &len) != 0)
                return false;
            out = QByteArray(static_cast<const char*>(buf) + start, qsizetype(std::min<size_t>(len, length)));
            return true;
        }
        if ((header & 0xff000000) != 0)
            return false;
        out.reserve(qsizetype(length));
        // The chain ends with a zero pointer; the stated length bounds it.
        while (pageRow != 0 && quint32(out.size()) < length) {
            if (mdb_find_pg_row(mdb, pageRow, &buf, &start, &len) != 0 || len < 4)
                return false;
            out.append(static_cast<const char*>(buf) + start + 4, qsizetype(len - 4));
            pageRow = stored<qint32>(bytes(buf) + start);
        }
        if (quint32(out.size()) > length)
            out.truncate(qsizetype(length));
        return quint32(out.size()) == length;
    }

    // The value of a field of the row in the current data page, from its
    // stored bytes; an invalid QVariant for NULL. `buffer` holds a long value
    // meanwhile. Throws ReadError for a long value that cannot be read.
    QVariant valueOf(
        const MdbField& f, const MdbColumn& col, const Column& column, const QString& table, QByteArray& buffer) const
    {
        // A yes/no column keeps its value in the null mask.
        if (column.kind == Kind::Boolean)
            return QVariant(!f.is_null);
        const void* p = f.value;
        const int n = f.siz;
        if (f.is_null || column.kind == Kind::Unreadable || !p)
            return {};
        switch (col.col_type) {
        case MDB_BYTE:
            return QVariant(int(*bytes(p)));
        case MDB_INT:
            return n >= 2 ? QVariant(int(stored<qint16>(p))) : QVariant();
        case MDB_LONGINT:
            return n >= 4 ? QVariant(int(stored<qint32>(p))) : QVariant();
        case MDB_MONEY:
            return n >= 8 ? QVariant(currencyText(stored<qint64>(p))) : QVariant();
        case MDB_FLOAT:
            return n >= 4 ? QVariant(double(storedFloat(p))) : QVariant();
        case MDB_DOUBLE:
            return n >= 8 ? QVariant(storedDouble(p)) : QVariant();
        case MDB_DATETIME:
            return n >= 8 ? dateValue(storedDouble(p)) : QVariant();
        case MDB_BINARY:
            return QVariant(QByteArray(static_cast<const char*>(p), n));
        case MDB_TEXT:
            return QVariant(textOf(p, size_t(n)));
        case MDB_MEMO:
        case MDB_OLE:
            if (!longValue(p, n, buffer))
                throw ReadError(QCoreApplication::translate("Import", "表 %1 的列 %2 中有无法读出的长文本或 OLE 对象")
                                    .arg(table, column.name));
            return col.col_type == MDB_MEMO ? QVariant(textOf(buffer.constData(), size_t(buffer.size())))
                                            : QVariant(buffer);
        case MDB_REPID:
            return n >= 16 ? QVariant(guidText(f.start)) : QVariant();
        case MDB_NUMERIC:
            return n >= 17 ? QVariant(numericText(p, column.scale)) : QVariant();
        default:
            return {};
        }
    }

    QString guidText(int start) const
    {
        char* written = mdb_uuid_to_string(mdb->pg_buf, start);
        const QString guid = QString::fromLatin1(written);
        g_free(written);
        return guid;
    }
};

AccessSource::AccessSource(const QString& path, int codePage)
    : d(std::make_unique<Private>())
{
    d->path = path;
    if (!AccessFile::isAccessFile(path))
        throw ReadError(
            QCoreApplication::translate("Import", "不是 Access 数据库文件（.mdb、.accdb），或无法读取：%1").arg(path));
    // Read-only: the file is never changed.
    d->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
    if (!d->mdb)
        throw ReadError(QCoreApplication::translate("Import", "无法打开 Access 数据库文件：%1").arg(path));

    // libmdb sets up its name conversion in mdb_open: from the header's code
    // page for Jet 3, from UCS-2 otherwise, which cuts characters outside the
    // Basic Multilingual Plane. Table and column names are read after this,
    // through converters of our own choosing.
    d->codePage = d->jet3() ? (codePage > 0 ? codePage : d->mdb->f->code_page) : 0;
    if (d->jet3() && d->codePage <= 0)
        d->codePage = 1252;
    const QByteArray from = d->jet3() ? iconvName(d->codePage) : QByteArray("UTF-16LE");
    mdb_iconv_close(d->mdb);
    d->mdb->iconv_in = openConverter(from);
    d->mdb->iconv_out = iconv_open(from.constData(), "UTF-8");
    if (d->jet3())
        d->text = openConverter(from);
    if (d->mdb->iconv_in == iconv_t(-1) || (d->jet3() && d->text == iconv_t(-1)))
        throw ReadError(QCoreApplication::translate("Import", "不支持代码页 %1").arg(d->codePage));

    if (!mdb_read_catalog(d->mdb, MDB_TABLE) || d->mdb->num_catalog == 0)
        throw ReadError(QCoreApplication::translate(
            "Import", "无法读出 Access 数据库的目录：文件已加密（设有数据库密码）或已损坏：%1")
                            .arg(path));
}

AccessSource::~AccessSource() = default;

QString AccessSource::format() const
{
    switch (d->mdb->f->jet_version) {
    case MDB_VER_JET3:
        return QStringLiteral("Jet 3 (Access 97)");
    case MDB_VER_JET4:
        return QStringLiteral("Jet 4 (Access 2000-2003)");
    case MDB_VER_ACCDB_2007:
        return QStringLiteral("ACE 12 (Access 2007)");
    case MDB_VER_ACCDB_2010:
        return QStringLiteral("ACE 14 (Access 2010)");
    case MDB_VER_ACCDB_2013:
        return QStringLiteral("ACE 15 (Access 2013)");
    case MDB_VER_ACCDB_2016:
        return QStringLiteral("ACE 16 (Access 2016)");
    case MDB_VER_ACCDB_2019:
        return QStringLiteral("ACE 17 (Access 2019)");
    default:
        return QStringLiteral("?");
    }
}

bool AccessSource::isJet3() const
{
    return d->jet3();
}

int AccessSource::codePage() const
{
    return d->codePage;
}

namespace {

struct TableDef
{
    MdbTableDef* def = nullptr;
    ~TableDef() { mdb_free_tabledef(def); }
};

MdbCatalogEntry* entryNamed(MdbHandle* mdb, const QString& name)
{
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (mdb_is_user_table(entry) && QString::fromUtf8(entry->object_name) == name)
            return entry;
    }
    return nullptr;
}

// libmdb says on standard error when it cannot follow an index definition,
// and then leaves columns out of it. Its words are caught here (not shown to
// the operator): false when the indexes were not read whole.
bool readIndices(MdbTableDef* table)
{
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int saved = capture ? ::dup(STDERR_FILENO) : -1;
    if (saved < 0) {
        if (capture)
            std::fclose(capture);
        mdb_read_indices(table);
        return true;
    }
    ::dup2(::fileno(capture), STDERR_FILENO);
    mdb_read_indices(table);
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    const off_t said = ::lseek(::fileno(capture), 0, SEEK_END);
    std::fclose(capture);
    return said == 0;
}

// The table's definition; with `indexes`, its indexes too. False when they
// could not be read whole.
bool readDefinition(TableDef& table, MdbCatalogEntry* entry, bool indexes)
{
    table.def = mdb_read_table(entry);
    if (!table.def || !mdb_read_columns(table.def))
        throw ReadError(
            QCoreApplication::translate("Import", "无法读出表 %1 的定义").arg(QString::fromUtf8(entry->object_name)));
    return !indexes || readIndices(table.def);
}

Column columnOf(const MdbTableDef* table, const MdbColumn* col, bool jet3)
{
    Column c;
    c.name = QString::fromUtf8(col->name);
    switch (col->col_type) {
    case MDB_BOOL:
        c.kind = Kind::Boolean;
        break;
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
        c.kind = Kind::Integer;
        break;
    case MDB_MONEY:
        c.kind = Kind::Currency;
        break;
    case MDB_FLOAT:
        c.kind = Kind::Float;
        break;
    case MDB_DOUBLE:
        c.kind = Kind::Double;
        break;
    case MDB_DATETIME:
        c.kind = Kind::DateTime;
        break;
    case MDB_BINARY:
    case MDB_OLE:
        c.kind = Kind::Binary;
        break;
    case MDB_TEXT:
        c.kind = Kind::Text;
        c.length = jet3 ? col->col_size : col->col_size / 2;
        break;
    case MDB_MEMO:
        c.kind = Kind::Memo;
        break;
    case MDB_REPID:
        c.kind = Kind::Guid;
        break;
    case MDB_NUMERIC:
        c.kind = Kind::Decimal;
        // libmdb 1.0 reads the two bytes the other way round: its col_scale
        // holds the precision and col_prec the scale.
        c.precision = col->col_scale;
        c.scale = col->col_prec;
        break;
    case MDB_COMPLEX:
        c.kind = Kind::Unreadable;
        c.problem = QCoreApplication::translate("Import", "多值、附件或历史记录字段");
        break;
    case kExtendedDateTime:
        c.kind = Kind::Unreadable;
        c.problem = QCoreApplication::translate("Import", "Access 2019 的扩展日期/时间");
        break;
    default:
        c.kind = Kind::Unreadable;
        c.problem = QCoreApplication::translate("Import", "未知类型 0x%1").arg(col->col_type, 2, 16, QLatin1Char('0'));
        break;
    }
    // A calculated column (Access 2010 and later) stores its results behind
    // a header libmdb does not know: the values would be garbage.
    if (const char* expression = mdb_col_get_prop(col, "Expression")) {
        c.kind = Kind::Unreadable;
        c.problem = QCoreApplication::translate("Import", "计算列：%1").arg(QString::fromUtf8(expression));
    }
    Q_UNUSED(table);
    return c;
}

} // namespace

QList<Table> AccessSource::tables()
{
    QList<Table> result;
    for (unsigned i = 0; i < d->mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(d->mdb->catalog, i));
        if (!mdb_is_user_table(entry))
            continue;
        TableDef def;
        const bool keysRead = readDefinition(def, entry, true);
        Table t;
        t.name = QString::fromUtf8(entry->object_name);
        t.catalogueRows = def.def->num_rows;
        for (unsigned c = 0; c < def.def->num_cols; ++c)
            t.columns << columnOf(def.def, static_cast<MdbColumn*>(g_ptr_array_index(def.def->columns, c)), d->jet3());
        for (unsigned k = 0; def.def->indices && k < def.def->num_idxs; ++k) {
            const auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(def.def->indices, k));
            // Type 2: the far side of a relationship, not an index of its own.
            if (idx->index_type == 2 || idx->num_keys == 0 || !(idx->index_type == 1 || idx->flags & MDB_IDX_UNIQUE))
                continue;
            Index index;
            index.name = QString::fromUtf8(idx->name);
            index.primary = idx->index_type == 1;
            for (unsigned n = 0; n < idx->num_keys; ++n)
                index.columns << t.columns.at(idx->key_col_num[n] - 1).name;
            bool known = false;
            for (Index& other : t.uniqueKeys) {
                if (other.columns == index.columns) {
                    other.primary = other.primary || index.primary;
                    known = true;
                }
            }
            if (!known)
                t.uniqueKeys << index;
        }
        if (!keysRead) {
            // A key missing a column would be stricter than the file's.
            t.uniqueKeys.clear();
            t.keysUnreadable = true;
        }
        result << t;
    }
    return result;
}

qint64 AccessSource::readRows(const Table& table, const std::function<void(const QVariantList&)>& row)
{
    MdbCatalogEntry* entry = entryNamed(d->mdb, table.name);
    if (!entry)
        throw ReadError(QCoreApplication::translate("Import", "Access 数据库中没有表 %1").arg(table.name));
    TableDef def;
    readDefinition(def, entry, false);
    MdbTableDef* t = def.def;
    if (int(t->num_cols) != table.columns.size())
        throw ReadError(QCoreApplication::translate("Import", "表 %1 的定义在读取时改变了").arg(table.name));
    MdbHandle* mdb = d->mdb;
    std::vector<MdbField> fields(t->num_cols);
    std::vector<MdbColumn*> columns(t->num_cols);
    for (unsigned c = 0; c < t->num_cols; ++c)
        columns[c] = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, c));
    QVariantList values;
    QByteArray longBytes;
    qint64 damaged = 0;

    mdb_rewind_table(t);
    // Page by page through the table's data pages, as mdb_fetch_row does,
    // but reading each value from its stored bytes: libmdb's bound strings
    // lose NULL against empty text, cut memos and print dates and numbers
    // by the locale.
    while (mdb_read_next_dpg(t)) {
        const int rows = mdb_get_int16(mdb->pg_buf, mdb->fmt->row_count_offset);
        for (int r = 0; r < rows; ++r) {
            int start = 0;
            size_t size = 0;
            if (mdb_find_row(mdb, r, &start, &size) != 0 || size == 0 || (start & kRowDeleted))
                continue; // deleted, or moved to another page (read there)
            start &= kOffsetMask;
            if (mdb_crack_row(t, start, size, fields.data()) < 0) {
                ++damaged;
                continue;
            }
            values.clear();
            for (unsigned c = 0; c < t->num_cols; ++c)
                values << d->valueOf(fields[c], *columns[c], table.columns.at(int(c)), table.name, longBytes);
            row(values);
        }
    }
    return damaged;
}

} // namespace Import
