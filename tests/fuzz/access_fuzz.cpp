// libFuzzer: the Access reader (in this process, as the reader child runs it)
// on any bytes: the catalogue, the linked tables and every row of every table.
// A crash here is a crash the reader child would have: contained by the
// sandbox, but a fault of the reader all the same.
#include "import/AccessSource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // libmdb reads files: the input goes into one of its own.
    static const QString path = QDir::tempPath() + QStringLiteral("/kolvane-fuzz-%1.mdb").arg(QCoreApplication::applicationPid());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        Import::AccessSource source(path);
        for (const Import::Table& table : source.tables())
            source.readRows(table, [](const QVariantList&) {});
        source.links();
    } catch (const Import::ReadError&) {
        // A file the reader refuses: what it should do with most inputs.
    }
    return 0;
}
