#pragma once
// Reads an Access database file (Jet 3, Jet 4, ACE) through mdbtools' libmdb,
// decoding every value from its stored bytes.
#include "import/ImportSource.h"

#include <memory>

namespace Import {

class AccessSource : public Source
{
public:
    // Opens `path` read-only. `codePage` overrides the code page of a Jet 3
    // file's header (0: take the header's). Throws ReadError.
    explicit AccessSource(const QString& path, int codePage = 0);
    ~AccessSource() override;
    AccessSource(const AccessSource&) = delete;
    AccessSource& operator=(const AccessSource&) = delete;

    // "Jet 3 (Access 97)", "ACE 14 (Access 2010)", ...
    QString format() const;
    bool isJet3() const;
    // The code page text of a Jet 3 file is read in (the header's or the override).
    int codePage() const;

    QList<Table> tables() override;
    qint64 readRows(const Table& table, const std::function<void(const QVariantList& values)>& row) override;
    QList<Link> links() override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Import
