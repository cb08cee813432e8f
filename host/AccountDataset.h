#pragma once
// The account-period dataset: every Accounts row, with a current row and a
// state, shared by the login dialog and the account-period dialog. Its grid is
// a view on model(); its edits are bound with a QDataWidgetMapper that follows
// currentRow().
#include <QDateTime>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlTableModel>

class AccountModel : public QSqlTableModel
{
    Q_OBJECT
public:
    using QSqlTableModel::QSqlTableModel;
    // Date columns come out as QDateTime on every engine and go in as the
    // engine's canonical form.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

protected:
    // On PostgreSQL each change runs on a statement prepared for it: Qt reuses
    // one prepared statement for every row, and after a session has been lost
    // mid-prepare it would run a statement the new session never prepared.
    bool insertRowIntoTable(const QSqlRecord& values) override;
    bool updateRowInTable(int row, const QSqlRecord& values) override;
    bool deleteRowFromTable(int row) override;

private:
    bool isDateColumn(int column) const;
    bool execute(QSqlDriver::StatementType type, const QSqlRecord& values, const QSqlRecord& where);
};

class AccountDataset : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Inactive,
        Browse,
        Insert,
        Edit
    };

    AccountDataset(const QSqlDatabase& db, QObject* parent = nullptr);

    bool isOpen() const { return m_open; }
    // Reads every Accounts row, sorted by ym; the current row is the first.
    void open();
    State state() const;
    int recordCount() const;

    int currentRow() const { return m_current; }
    void setCurrentRow(int row);
    bool isEmpty() const { return recordCount() == 0; }

    // Moves to the first row whose ym equals the key; false (and no move) when none does.
    bool locate(const QString& ym, Qt::CaseSensitivity cs);

    // Fields of the current row, by name without regard to case. No current row:
    // null. Unknown field: throws Db::Error.
    QVariant fieldValue(const QString& name) const;
    QString fieldText(const QString& name) const;
    QDateTime fieldDateTime(const QString& name) const;
    void setFieldValue(const QString& name, const QVariant& value);

    // Appends an empty row and makes it current (insert state).
    void append();
    // Stores pending changes. On failure throws Db::Error and keeps them pending.
    void post();
    // Drops pending changes; after an append the row current before it is current again.
    void cancel();
    // Deletes the current row at once. Throws Db::Error on failure (nothing deleted).
    void remove();

    QSqlTableModel* model() { return m_model; }
    int column(const QString& name) const; // -1 when unknown

Q_SIGNALS:
    void currentRowChanged(int row);

private:
    void requireOpen() const;
    int requireColumn(const QString& name) const;
    void selectAll();

    AccountModel* m_model;
    bool m_open = false;
    int m_current = -1;
    int m_beforeAppend = -1;
};
