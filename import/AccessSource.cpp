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
#include <QSet>
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
constexpr int kLargeNumber = 0x13;
constexpr int kExtendedDateTime = 0x14;
// Object types in the catalogue (MSysObjects) of tables kept elsewhere.
constexpr int kLinkedOdbc = 4;
constexpr int kLinkedAccess = 6;
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

// Whether every value libmdb found in a row lies inside the page: the
// offsets of a damaged row point anywhere.
bool withinPage(const std::vector<MdbField>& fields, const MdbHandle* mdb)
{
    const auto* page = bytes(mdb->pg_buf);
    return std::all_of(fields.cbegin(), fields.cend(), [&](const MdbField& f) {
        const auto* value = bytes(f.value);
        return f.is_null || !value
            || (f.siz >= 0 && value >= page && value + f.siz <= page + std::min<int>(mdb->fmt->pg_size, MDB_PGSIZE));
    });
}

// How many bytes a property value of `type` is read from, whatever its
// stated size.
int propertySize(int type)
{
    switch (type) {
    case MDB_BOOL:
    case MDB_BYTE:
        return 1;
    case MDB_INT:
        return 2;
    case MDB_LONGINT:
    case MDB_COMPLEX:
    case MDB_FLOAT:
        return 4;
    case MDB_DOUBLE:
    case MDB_DATETIME:
    case MDB_MONEY:
        return 8;
    case MDB_REPID:
        return 16;
    default:
        return 0;
    }
}

// The number of names in a property block's list of names; -1 when one goes
// past its end.
qsizetype propertyNames(const unsigned char* p, qsizetype size)
{
    qsizetype count = 0;
    for (qsizetype pos = 0; pos < size; ++count) {
        if (size - pos < 2 || stored<quint16>(p + pos) > size - pos - 2)
            return -1;
        pos += 2 + stored<quint16>(p + pos);
    }
    return count;
}

// Whether the values of a property block stay inside it, each long enough
// for its type.
bool propertyValues(const unsigned char* p, qsizetype size, qsizetype names)
{
    if (size < 6 || 6 + stored<quint16>(p + 4) > size)
        return false;
    for (qsizetype pos = 6 + stored<quint16>(p + 4); pos < size;) {
        if (size - pos < 8)
            return false;
        const quint16 length = stored<quint16>(p + pos);
        const quint16 valueSize = stored<quint16>(p + pos + 6);
        if (stored<quint16>(p + pos + 4) >= names)
            return true; // libmdb stops reading there
        // A currency property is read from libmdb's page buffer at the
        // block's offset.
        const int type = p[pos + 3];
        if (length < 8 || length > size - pos || valueSize > length - 8 || valueSize < propertySize(type)
            || (type == MDB_MONEY && pos + 16 > MDB_PGSIZE))
            return false;
        pos += length;
    }
    return true;
}

// Whether libmdb can take an object's properties (its LvProp value) as they
// are: it believes every length in them, and a zero loops for ever.
bool wellFormedProperties(const QByteArray& block)
{
    const auto* p = bytes(block.constData());
    const qsizetype size = block.size();
    if (size < 4 || (std::memcmp(p, "KKD", 4) != 0 && std::memcmp(p, "MR2", 4) != 0))
        return false;
    qsizetype names = -1;
    for (qsizetype pos = 4; pos < size;) {
        if (size - pos < 6)
            return false;
        const quint32 length = stored<quint32>(p + pos);
        const quint16 type = stored<quint16>(p + pos + 4);
        if (length < 6 || length > quint64(size - pos))
            return false;
        if (type == 0x80)
            names = propertyNames(p + pos + 6, length - 6);
        if (names < 0 && type == 0x80)
            return false;
        if (type <= 2 && names >= 0 && !propertyValues(p + pos + 6, length - 6, names))
            return false;
        pos += length;
    }
    return true;
}

} // namespace

struct AccessSource::Private
{
    MdbHandle* mdb = nullptr;
    iconv_t text = iconv_t(-1); // Jet 3 values
    int codePage = 0;
    QString path;
    qint64 fileSize = 0; // no value is longer than the file
    QList<Link> links;

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
    // pages cannot be followed: a length longer than the file, a chain that
    // comes back to a part it has been through.
    bool longValue(const void* field, int size, QByteArray& out) const
    {
        out.clear();
        if (size < MDB_MEMO_OVERHEAD)
            return size == 0;
        const quint32 header = stored<quint32>(field);
        const quint32 length = header & 0x3fffffff;
        if (qint64(length) > fileSize)
            return false;
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
        // The chain ends with a zero pointer; the stated length bounds it,
        // and every part is read once at most.
        QSet<qint32> seen;
        while (pageRow != 0 && quint32(out.size()) < length) {
            if (seen.contains(pageRow) || mdb_find_pg_row(mdb, pageRow, &buf, &start, &len) != 0 || len < 4)
                return false;
            seen.insert(pageRow);
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
        case kLargeNumber:
            return n >= 8 ? QVariant(qlonglong(stored<qint64>(p))) : QVariant();
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
                                    .arg(printable(table), printable(column.name)));
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

    bool readCatalogue();

    // Every row of the table `entry` names, decoded by `table`'s columns.
    // Returns the number of rows that could not be read.
    qint64 scan(MdbCatalogEntry* entry, const Table& table, const std::function<void(const QVariantList&)>& row);

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
    d->fileSize = QFileInfo(path).size();
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

    bool catalogue = false;
    try {
        catalogue = d->readCatalogue();
    } catch (const ReadError&) {
    }
    if (!catalogue)
        throw ReadError(QCoreApplication::translate(
            "Import", "无法读出 Access 数据库的目录：文件已加密（设有数据库密码）或已损坏：%1")
                            .arg(printable(path)));
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
            QCoreApplication::translate("Import", "无法读出表 %1 的定义").arg(printable(QString::fromUtf8(entry->object_name))));
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
    case kLargeNumber:
        c.kind = Kind::BigInt;
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
        QSet<QString> names;
        for (unsigned c = 0; c < def.def->num_cols; ++c) {
            t.columns << columnOf(def.def, static_cast<MdbColumn*>(g_ptr_array_index(def.def->columns, c)), d->jet3());
            // Access allows neither; a damaged definition has them.
            const QString name = t.columns.last().name.toLower();
            if (name.isEmpty() || names.contains(name))
                throw ReadError(QCoreApplication::translate("Import", "表 %1 的定义已损坏：列名“%2”为空或重复")
                                    .arg(printable(t.name), printable(t.columns.last().name)));
            names.insert(name);
        }
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
        throw ReadError(QCoreApplication::translate("Import", "Access 数据库中没有表 %1").arg(printable(table.name)));
    return d->scan(entry, table, row);
}

QList<Link> AccessSource::links()
{
    return d->links;
}

namespace {

// The catalogue (MSysObjects) is a table itself, on page 2.
struct Catalogue
{
    MdbCatalogEntry entry {};
    Table table;
    int id = -1, name = -1, type = -1, flags = -1, properties = -1;
    int database = -1, connect = -1, foreign = -1;

    Catalogue(MdbHandle* mdb, bool jet3)
    {
        entry.mdb = mdb;
        entry.object_type = MDB_TABLE;
        entry.table_pg = 2;
        std::snprintf(entry.object_name, sizeof entry.object_name, "%s", "MSysObjects");
        table.name = QString::fromLatin1(entry.object_name);
        TableDef def;
        readDefinition(def, &entry, false);
        for (unsigned c = 0; c < def.def->num_cols; ++c)
            table.columns << columnOf(def.def, static_cast<MdbColumn*>(g_ptr_array_index(def.def->columns, c)), jet3);
        // Only the columns needed are decoded.
        QList<Column> wanted;
        for (auto [place, column] : { std::pair { &id, "Id" }, { &name, "Name" }, { &type, "Type" }, { &flags, "Flags" },
                 { &properties, "LvProp" }, { &database, "Database" }, { &connect, "Connect" },
                 { &foreign, "ForeignName" } }) {
            for (int c = 0; c < table.columns.size(); ++c) {
                if (table.columns.at(c).name.compare(QLatin1StringView(column), Qt::CaseInsensitive) == 0)
                    *place = c;
            }
        }
        for (int c = 0; c < table.columns.size(); ++c) {
            if (!QList { id, name, type, flags, properties, database, connect, foreign }.contains(c))
                table.columns[c].kind = Kind::Unreadable;
        }
        if (id < 0 || name < 0 || type < 0 || flags < 0)
            throw ReadError(QCoreApplication::translate("Import", "无法读出表 %1 的定义").arg(table.name));
    }
};

Link linkOf(const Catalogue& catalogue, const QVariantList& values)
{
    Link link;
    link.name = values.at(catalogue.name).toString();
    link.foreignName = values.value(catalogue.foreign).toString();
    link.database = values.value(catalogue.database).toString();
    // A password the link keeps is nobody's business here.
    QStringList parts = values.value(catalogue.connect).toString().split(u';');
    parts.removeIf([](const QString& part) { return part.trimmed().startsWith(u"PWD=", Qt::CaseInsensitive); });
    link.connect = parts.join(u';');
    return link;
}

} // namespace

// The file's tables and links, from the catalogue read as any other table:
// libmdb's own reading of it believes every length in the objects'
// properties, and leaves out where a linked table is kept.
bool AccessSource::Private::readCatalogue()
{
    const Catalogue catalogue(mdb, jet3());
    if (mdb->catalog)
        mdb_free_catalog(mdb);
    mdb->catalog = g_ptr_array_new();
    mdb->num_catalog = 0;
    scan(const_cast<MdbCatalogEntry*>(&catalogue.entry), catalogue.table, [&](const QVariantList& values) {
        const int type = values.at(catalogue.type).toInt();
        if (type == kLinkedOdbc || type == kLinkedAccess)
            links << linkOf(catalogue, values);
        if (type != MDB_TABLE)
            return;
        auto* entry = g_new0(MdbCatalogEntry, 1);
        entry->mdb = mdb;
        std::snprintf(entry->object_name, sizeof entry->object_name, "%s",
            values.at(catalogue.name).toString().toUtf8().constData());
        entry->object_type = MDB_TABLE;
        entry->table_pg = values.at(catalogue.id).toLongLong() & 0x00FFFFFF;
        entry->flags = values.at(catalogue.flags).toInt();
        QByteArray properties = values.value(catalogue.properties).toByteArray();
        if (wellFormedProperties(properties))
            entry->props = mdb_kkd_to_props(mdb, properties.data(), size_t(properties.size()));
        g_ptr_array_add(mdb->catalog, entry);
        ++mdb->num_catalog;
    });
    return mdb->num_catalog > 0 || !links.isEmpty();
}

qint64 AccessSource::Private::scan(
    MdbCatalogEntry* entry, const Table& table, const std::function<void(const QVariantList&)>& row)
{
    TableDef def;
    readDefinition(def, entry, false);
    MdbTableDef* t = def.def;
    if (int(t->num_cols) != table.columns.size())
        throw ReadError(QCoreApplication::translate("Import", "表 %1 的定义在读取时改变了").arg(printable(table.name)));
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
            if (size_t(start) + size > size_t(mdb->fmt->pg_size) || mdb_crack_row(t, start, size, fields.data()) < 0
                || !withinPage(fields, mdb)) {
                ++damaged;
                continue;
            }
            values.clear();
            for (unsigned c = 0; c < t->num_cols; ++c)
                values << valueOf(fields[c], *columns[c], table.columns.at(int(c)), table.name, longBytes);
            row(values);
        }
    }
    return damaged;
}

} // namespace Import
