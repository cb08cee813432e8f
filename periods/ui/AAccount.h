#pragma once
// Account-period dialog: lists, creates and deletes periods; the period the
// operator confirms is the account-period dataset's current row on OK.
#include <QDialog>
#include <memory>

class AccountDataset;
class QDataWidgetMapper;
class QSortFilterProxyModel;
namespace Ui {
class TFrmAccount;
}

class TFrmAccount : public QDialog
{
    Q_OBJECT
public:
    explicit TFrmAccount(QWidget* owner = nullptr);
    ~TFrmAccount() override;

    // Event handlers, also run directly by tests.
    void FormCreate();
    void FormShow();
    void FormCloseQuery();
    void FormDestroy();
    void btNewClick();
    void btSaveClick();
    void btCancelClick();
    void btDelClick();
    void dbYmExit();
    void DBGridEh1Enter();

    // Whether the login dialog opened this dialog because this month has no
    // period yet (its NeedCreateAccount): showing then says so.
    void setNeedCreateAccount(bool need) { m_needCreateAccount = need; }

Q_SIGNALS:
    // Save is about to run the schedule roll-over for the pending period.
    void autoSchemeStarting();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetSystemDateFormat();
    void LoadRights();
    void SetBrowseMode(bool browse);
    bool CheckYm();
    // Fills the new month's schedules from the month before (the schedule roll-over).
    void AutoScheme();

    AccountDataset* dataset() const;
    bool pending() const;
    bool deriveFromYm();
    void warn(const QString& text);
    void bindFields();
    void showRow(int row);
    void gridRowChanged(int proxyRow);
    void placeOnScreen();

    std::unique_ptr<Ui::TFrmAccount> ui;
    QSortFilterProxyModel* m_grid = nullptr;
    QDataWidgetMapper* m_mapper = nullptr;
    bool m_inYmExit = false;
    bool m_needCreateAccount = false;
    bool m_switching = false;
    QString m_derivedFrom; // the month the pending row's name and dates were filled in from
    QString m_unanswered; // the month whose save lost its connection before the answer came
};

namespace AAccount {
extern TFrmAccount* FrmAccount;
}
