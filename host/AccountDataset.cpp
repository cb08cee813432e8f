#include "host/AccountDataset.h"

#include "db/Query.h"
#include "db/Statements.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

bool AccountModel::isDateColumn(int column) const
{
    const QString name = record().fieldName(column);
    return name.compare(Db::cBeginDate, Qt::CaseInsensitive) == 0
        || name.compare(Db::cEndDate, Qt::CaseInsensitive) == 0;
}

QVariant AccountModel::data(const QModelIndex& index, int role) const
{
    QVariant value = QSqlTableModel::data(index, role);
    if ((role == Qt::DisplayRole || role == Qt::EditRole) && isDateColumn(index.column()) && !value.isNull()) {
        const QDateTime dt = Db::toDateTime(value);
        return dt.isValid() ? QVariant(dt) : QVariant();
    }
    return value;
}

bool AccountModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role == Qt::EditRole && isDateColumn(index.column()))
        return QSqlTableModel::setData(index, Db::toDbValue(value), role);
    return QSqlTableModel::setData(index, value, role);
}

bool AccountModel::execute(QSqlDriver::StatementType type, const QSqlRecord& values, const QSqlRecord& where)
{
    QSqlDriver* driver = database().driver();
    QString sql = driver->sqlStatement(type, tableName(), values, true);
    if (!where.isEmpty())
        sql += u' ' + driver->sqlStatement(QSqlDriver::WhereStatement, tableName(), where, true);
    QSqlQuery query(database());
    bool ok = query.prepare(sql);
    if (ok) {
        for (int i = 0; i < values.count(); ++i)
            if (values.isGenerated(i))
                query.addBindValue(values.value(i));
        // A null key reads "IS NULL" in the statement and takes no value.
        for (int i = 0; i < where.count(); ++i)
            if (where.isGenerated(i) && !where.isNull(i))
                query.addBindValue(where.value(i));
        ok = query.exec();
    }
    if (!ok)
        setLastError(query.lastError());
    return ok;
}

bool AccountModel::insertRowIntoTable(const QSqlRecord& values)
{
    if (Db::engineOf(database()) != Db::Engine::PostgreSQL)
        return QSqlTableModel::insertRowIntoTable(values);
    QSqlRecord record = values;
    Q_EMIT beforeInsert(record);
    return execute(QSqlDriver::InsertStatement, record, QSqlRecord());
}

bool AccountModel::updateRowInTable(int row, const QSqlRecord& values)
{
    if (Db::engineOf(database()) != Db::Engine::PostgreSQL)
        return QSqlTableModel::updateRowInTable(row, values);
    QSqlRecord record = values;
    Q_EMIT beforeUpdate(row, record);
    return execute(QSqlDriver::UpdateStatement, record, primaryValues(row));
}

bool AccountModel::deleteRowFromTable(int row)
{
    if (Db::engineOf(database()) != Db::Engine::PostgreSQL)
        return QSqlTableModel::deleteRowFromTable(row);
    Q_EMIT beforeDelete(row);
    return execute(QSqlDriver::DeleteStatement, QSqlRecord(), primaryValues(row));
}

AccountDataset::AccountDataset(const QSqlDatabase& db, QObject* parent)
    : QObject(parent)
    , m_model(new AccountModel(this, db))
{
    m_model->setEditStrategy(QSqlTableModel::OnManualSubmit);
}

void AccountDataset::selectAll()
{
    if (!m_model->select())
        throw Db::errorFor(tr("无法读取帐套表"), m_model->database(), m_model->lastError());
    while (m_model->canFetchMore())
        m_model->fetchMore();
}

void AccountDataset::open()
{
    // PostgreSQL keeps the table under its lower-case name, and Qt quotes it.
    m_model->setTable(Db::storedName(m_model->database(), Db::tAccounts));
    if (m_model->lastError().isValid() || m_model->record().isEmpty())
        throw Db::errorFor(tr("无法打开帐套表"), m_model->database(), m_model->lastError());
    m_model->setSort(requireColumn(Db::cYm), Qt::AscendingOrder);
    selectAll();
    m_open = true;
    m_beforeAppend = -1;
    setCurrentRow(recordCount() > 0 ? 0 : -1);
}

AccountDataset::State AccountDataset::state() const
{
    if (!m_open)
        return State::Inactive;
    if (m_current >= 0 && m_model->isDirty(m_model->index(m_current, 0))) {
        // A row inserted but not yet stored reports no primary values in the header.
        const QVariant header = m_model->headerData(m_current, Qt::Vertical);
        return header.toString() == u"*" ? State::Insert : State::Edit;
    }
    return m_model->isDirty() ? State::Edit : State::Browse;
}

int AccountDataset::recordCount() const
{
    return m_open ? m_model->rowCount() : 0;
}

void AccountDataset::setCurrentRow(int row)
{
    if (row < -1 || row >= recordCount())
        row = recordCount() > 0 ? 0 : -1;
    if (row == m_current)
        return;
    m_current = row;
    Q_EMIT currentRowChanged(row);
}

bool AccountDataset::locate(const QString& ym, Qt::CaseSensitivity cs)
{
    requireOpen();
    const int col = requireColumn(Db::cYm);
    for (int row = 0; row < recordCount(); ++row) {
        if (m_model->data(m_model->index(row, col), Qt::EditRole).toString().compare(ym, cs) == 0) {
            setCurrentRow(row);
            return true;
        }
    }
    return false;
}

int AccountDataset::column(const QString& name) const
{
    return m_model->record().indexOf(name);
}

int AccountDataset::requireColumn(const QString& name) const
{
    const int col = column(name);
    if (col < 0)
        throw Db::Error(tr("帐套表没有字段“%1”").arg(name));
    return col;
}

void AccountDataset::requireOpen() const
{
    if (!m_open)
        throw Db::Error(tr("帐套数据集没有打开"));
}

QVariant AccountDataset::fieldValue(const QString& name) const
{
    requireOpen();
    const int col = requireColumn(name);
    if (m_current < 0)
        return {};
    return m_model->data(m_model->index(m_current, col), Qt::EditRole);
}

QString AccountDataset::fieldText(const QString& name) const
{
    const QVariant v = fieldValue(name);
    if (v.typeId() == QMetaType::QDateTime)
        return Db::dateTimeText(v.toDateTime());
    return v.isNull() ? QString() : v.toString();
}

QDateTime AccountDataset::fieldDateTime(const QString& name) const
{
    return Db::toDateTime(fieldValue(name));
}

void AccountDataset::setFieldValue(const QString& name, const QVariant& value)
{
    requireOpen();
    const int col = requireColumn(name);
    if (m_current < 0)
        throw Db::Error(tr("帐套数据集没有当前记录"));
    if (!m_model->setData(m_model->index(m_current, col), value))
        throw Db::Error(tr("无法修改字段“%1”").arg(name));
}

void AccountDataset::append()
{
    requireOpen();
    if (state() == State::Insert)
        cancel();
    m_beforeAppend = m_current;
    const int row = m_model->rowCount();
    if (!m_model->insertRow(row))
        throw Db::errorFor(tr("无法新建帐套"), m_model->database(), m_model->lastError());
    setCurrentRow(row);
}

void AccountDataset::post()
{
    requireOpen();
    if (!m_model->isDirty())
        return;
    const QString key = fieldText(Db::cYm);
    if (!m_model->submitAll()) {
        // The row stays pending. A failed insert outside a transaction leaves
        // the connection usable on every engine.
        const QSqlError error = m_model->lastError();
        if (Db::isDuplicateKey(error) && !Db::isConnectionLost(m_model->database(), error))
            throw Db::Error(tr("无法保存帐套：%1 的帐套已经存在，可能刚由其他工作站建立。\n"
                               "请取消新建，重新打开帐套管理后选择该帐套。\n\n%2")
                                .arg(key, error.text().trimmed()),
                Db::Error::Kind::DuplicateKey);
        throw Db::errorFor(tr("无法保存帐套"), m_model->database(), error);
    }
    // submitAll() reloads the model: find the stored row again by its key.
    while (m_model->canFetchMore())
        m_model->fetchMore();
    m_current = -2;
    if (!locate(key, Qt::CaseSensitive))
        setCurrentRow(recordCount() > 0 ? 0 : -1);
    m_beforeAppend = -1;
}

void AccountDataset::cancel()
{
    requireOpen();
    if (!m_model->isDirty())
        return;
    const bool inserting = state() == State::Insert;
    const int back = inserting ? m_beforeAppend : m_current;
    m_model->revertAll();
    m_current = -2;
    setCurrentRow(back);
    m_beforeAppend = -1;
}

void AccountDataset::remove()
{
    requireOpen();
    if (m_current < 0)
        return;
    const int row = m_current;
    if (!m_model->removeRow(row) || !m_model->submitAll()) {
        const QSqlError error = m_model->lastError();
        m_model->revertAll();
        throw Db::errorFor(tr("无法删除帐套"), m_model->database(), error);
    }
    while (m_model->canFetchMore())
        m_model->fetchMore();
    m_current = -2;
    setCurrentRow(qMin(row, recordCount() - 1));
}
