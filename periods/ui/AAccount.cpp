#include "periods/ui/AAccount.h"

#include "ui_AAccount.h"

#include "db/Query.h"
#include "db/Statements.h"
#include "host/AccountDataset.h"
#include "host/Functions.h"
#include "host/Mainmodule.h"
#include "host/MonthKey.h"
#include "host/Prjconst.h"
#include "host/Varunit.h"
#include "host/ui/ErrorReport.h"
#include "host/ui/Main.h"
#include "periods/AccountRules.h"
#include "periods/Periods.h"
#include "periods/Rollover.h"
#include "periods/ui/Gauge.h"
#include "platform/System.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ModalShow.h"

#include <QDataWidgetMapper>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QItemDelegate>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QSqlRecord>
#include <QSqlTableModel>

namespace AAccount {
TFrmAccount* FrmAccount = nullptr;
}

namespace {

// SetLocaleInfoA arguments.
constexpr unsigned LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr unsigned LOCALE_SSHORTDATE = 0x1F;
constexpr unsigned LOCALE_STIMEFORMAT = 0x1003;

// The grid shows only the period names, under a caption of its own; its rows are
// the dataset's rows in the same order.
class AccountNameColumn : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
            return QCoreApplication::translate("TFrmAccount", "帐套名称");
        return QSortFilterProxyModel::headerData(section, orientation, role);
    }

protected:
    bool filterAcceptsColumn(int column, const QModelIndex&) const override
    {
        const auto* table = qobject_cast<const QSqlTableModel*>(sourceModel());
        return table && table->record().fieldName(column).compare(Db::cAccountName, Qt::CaseInsensitive) == 0;
    }
};

// A date field shows nothing for an empty date: its minimum date stands for it.
class FieldDelegate : public QItemDelegate
{
public:
    using QItemDelegate::QItemDelegate;

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        if (auto* edit = qobject_cast<QDateEdit*>(editor)) {
            const QDateTime value = Db::toDateTime(index.data(Qt::EditRole));
            edit->setDate(value.isValid() ? value.date() : edit->minimumDate());
            return;
        }
        QItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        if (auto* edit = qobject_cast<QDateEdit*>(editor)) {
            const QDate date = edit->date();
            model->setData(index, date == edit->minimumDate() ? QVariant() : QVariant(date.startOfDay()));
            return;
        }
        QItemDelegate::setModelData(editor, model, index);
    }
};

// Focus moved by the operator (or the program), not by a window or popup coming and going.
bool movedFocus(const QEvent* event)
{
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

} // namespace

TFrmAccount::TFrmAccount(QWidget* owner)
    : QDialog(owner)
    , ui(std::make_unique<Ui::TFrmAccount>())
{
    ui->setupUi(this);
    setFixedSize(size());
    AccountDataset* ds = dataset();

    // The grid fills the left of the page, whatever height the tab bar leaves;
    // the labels and fields keep their places beside it.
    auto* page = new QHBoxLayout(ui->TabSheet1);
    page->setContentsMargins(0, 0, 0, 0);
    page->addWidget(ui->DBGridEh1);
    page->addStretch();

    m_grid = new AccountNameColumn(this);
    m_grid->setSourceModel(ds->model());
    ui->DBGridEh1->setModel(m_grid);
    connect(ui->DBGridEh1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex& current) { gridRowChanged(current.row()); });

    m_mapper = new QDataWidgetMapper(this);
    m_mapper->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    m_mapper->setItemDelegate(new FieldDelegate(m_mapper));
    m_mapper->setModel(ds->model());
    for (QDateEdit* edit : { ui->dtBegDate, ui->dtEndDate })
        edit->setSpecialValueText(QStringLiteral(" "));
    connect(ds, &AccountDataset::currentRowChanged, this, &TFrmAccount::showRow);
    bindFields();

    QPalette bar = ui->Gauge->palette();
    bar.setColor(QPalette::Highlight, Qt::blue);
    ui->Gauge->setPalette(bar);

    for (QWidget* w :
        std::initializer_list<QWidget*> { ui->dbYm, ui->dbAccountName, ui->dtBegDate, ui->dtEndDate, ui->DBGridEh1 })
        w->installEventFilter(this);
    connect(ui->btNew, &QPushButton::clicked, this, ErrorReport::guarded([this] { btNewClick(); }));
    connect(ui->btSave, &QPushButton::clicked, this, ErrorReport::guarded([this] { btSaveClick(); }));
    connect(ui->btCancel, &QPushButton::clicked, this, ErrorReport::guarded([this] { btCancelClick(); }));
    connect(ui->btDel, &QPushButton::clicked, this, ErrorReport::guarded([this] { btDelClick(); }));
    connect(ui->btnInto, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnRet, &QPushButton::clicked, this, &QDialog::reject);

    FormCreate();
}

TFrmAccount::~TFrmAccount()
{
    FormDestroy();
}

AccountDataset* TFrmAccount::dataset() const
{
    if (!Mainmodule::MainDM || !Mainmodule::MainDM->accountData())
        throw Db::Error(tr("没有数据库连接"));
    return Mainmodule::MainDM->accountData();
}

bool TFrmAccount::pending() const
{
    return dataset()->state() == AccountDataset::State::Insert;
}

void TFrmAccount::warn(const QString& text)
{
    Platform::MessageBox(text, windowTitle(), Platform::MB_ICONEXCLAMATION);
}

// --- creation, showing, closing ---------------------------------------------

void TFrmAccount::FormCreate()
{
    SetSystemDateFormat();
    LoadRights();
}

void TFrmAccount::SetSystemDateFormat()
{
    if (!Functions::GetOSVersion().contains(u"XP"))
        return;
    const QStringList format = QStringLiteral("yyyy-MM-dd HH:nn:ss").split(u' ');
    Platform::SetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_SSHORTDATE, format.at(0));
    Platform::SetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_STIMEFORMAT, format.at(1));
}

void TFrmAccount::LoadRights()
{
    // An operator without a row keeps every button.
    const std::optional<int> rights = AccountRules::rightsOf(Mainmodule::db(), Varunit::UserName);
    if (!rights)
        return;
    if (!(*rights & AccountRules::RightCreate))
        ui->btNew->setEnabled(false);
    if (!(*rights & AccountRules::RightDelete))
        ui->btDel->setEnabled(false);
}

void TFrmAccount::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    placeOnScreen();
    bool shown = false;
    ErrorReport::guarded([&] {
        FormShow();
        shown = true;
    })();
    if (!shown) {
        // The window is mapped once this event returns: it is closed from the
        // event loop, so that no half-prepared dialog stays on the screen.
        QMetaObject::invokeMethod(
            this, [this] { QDialog::done(Platform::mrCancel); }, Qt::QueuedConnection);
        return;
    }
    // The list first: arrow keys pick a period at once.
    ui->DBGridEh1->setFocus(Qt::OtherFocusReason);
}

void TFrmAccount::placeOnScreen()
{
    QRect area;
    if (Main::FrmMain && Main::FrmMain->isVisible())
        area = Main::FrmMain->frameGeometry();
    else if (QScreen* s = screen())
        area = s->availableGeometry();
    if (area.isEmpty())
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(area.center());
    move(frame.topLeft());
}

void TFrmAccount::FormShow()
{
    AccountDataset* ds = dataset();
    if (!ds->isOpen())
        ds->open();
    bindFields();
    SetBrowseMode(true);
    if (m_needCreateAccount)
        Platform::MessageBox(Prjconst::_msgCreateAccount, Prjconst::_msg_Information, Platform::MB_ICONINFORMATION);
}

void TFrmAccount::done(int result)
{
    // A failure while abandoning a pending period is reported; the dialog closes all the same.
    ErrorReport::guarded([this] { FormCloseQuery(); })();
    QDialog::done(result);
}

void TFrmAccount::FormCloseQuery()
{
    if (!ui->btCancel->isHidden())
        btCancelClick();
}

void TFrmAccount::FormDestroy()
{
    if (AAccount::FrmAccount == this)
        AAccount::FrmAccount = nullptr;
}

void TFrmAccount::SetBrowseMode(bool browse)
{
    // While the controls change, the focus may pass through the grid or the fields:
    // that is no operator's doing and must not abandon or check anything.
    const QScopedValueRollback switching(m_switching, true);
    const auto setVisible = [](std::initializer_list<QPushButton*> widgets, bool visible) {
        for (QPushButton* w : widgets)
            w->setVisible(visible);
    };
    const auto browseOnly = { ui->btNew, ui->btDel };
    const auto editOnly = { ui->btSave, ui->btCancel };
    // The pair that appears is shown before the other is hidden, so that a button
    // losing the focus hands it to its partner in the same place.
    setVisible(browse ? browseOnly : editOnly, true);
    setVisible(browse ? editOnly : browseOnly, false);
    ui->AutoSchemeCb->setVisible(!browse);
    for (QWidget* w : std::initializer_list<QWidget*> { ui->dbYm, ui->dbAccountName, ui->dtBegDate, ui->dtEndDate })
        w->setEnabled(!browse);
    ui->btnInto->setEnabled(browse);
    ui->btnRet->setEnabled(browse);
}

// --- the grid and the fields follow the dataset's current row ---------------

void TFrmAccount::bindFields()
{
    AccountDataset* ds = dataset();
    if (!ds->isOpen())
        return;
    m_mapper->clearMapping();
    m_mapper->addMapping(ui->dbYm, ds->column(Db::cYm));
    m_mapper->addMapping(ui->dbAccountName, ds->column(Db::cAccountName));
    m_mapper->addMapping(ui->dtBegDate, ds->column(Db::cBeginDate));
    m_mapper->addMapping(ui->dtEndDate, ds->column(Db::cEndDate));
    showRow(ds->currentRow());
}

void TFrmAccount::showRow(int row)
{
    QTableView* grid = ui->DBGridEh1;
    if (row < 0) {
        ui->dbYm->clear();
        ui->dbAccountName->clear();
        for (QDateEdit* edit : { ui->dtBegDate, ui->dtEndDate })
            edit->setDate(edit->minimumDate());
        grid->selectionModel()->clear();
        return;
    }
    m_mapper->setCurrentIndex(row);
    const QModelIndex at = m_grid->mapFromSource(dataset()->model()->index(row, dataset()->column(Db::cAccountName)));
    if (at.isValid() && grid->currentIndex().row() != at.row())
        grid->selectRow(at.row());
}

void TFrmAccount::gridRowChanged(int proxyRow)
{
    const QModelIndex source = m_grid->mapToSource(m_grid->index(proxyRow, 0));
    if (source.isValid())
        dataset()->setCurrentRow(source.row());
}

bool TFrmAccount::eventFilter(QObject* watched, QEvent* event)
{
    const bool in = event->type() == QEvent::FocusIn;
    const bool out = event->type() == QEvent::FocusOut;
    if ((in || out) && !m_switching && movedFocus(event)) {
        ErrorReport::guarded([&] {
            if (watched == ui->DBGridEh1) {
                if (in)
                    DBGridEh1Enter();
            } else {
                // What the operator typed goes into the pending row as the field is left.
                if (out && pending())
                    m_mapper->submit();
                const bool month = watched == ui->dbYm;
                if ((out && month) || (in && !month))
                    dbYmExit();
            }
        })();
    }
    return QDialog::eventFilter(watched, event);
}

void TFrmAccount::DBGridEh1Enter()
{
    const AccountDataset::State state = dataset()->state();
    if (state == AccountDataset::State::Insert || state == AccountDataset::State::Edit)
        btCancelClick();
}

// --- the month and what follows from it -------------------------------------

bool TFrmAccount::CheckYm()
{
    const QString typed = ui->dbYm->text();
    const std::optional<MonthKey> key = MonthKey::parse(typed);
    if (!key) {
        warn(Prjconst::_ErrorAccount);
        return false;
    }
    if (key->text() != typed) {
        ui->dbYm->setText(key->text());
        if (pending())
            dataset()->setFieldValue(Db::cYm, key->text());
    }
    return true;
}

void TFrmAccount::dbYmExit()
{
    deriveFromYm();
}

// Checks the month text and fills the pending row's name and dates from it.
// False when there is no pending row or the month was refused.
bool TFrmAccount::deriveFromYm()
{
    if (m_inYmExit || !pending())
        return false;
    const QScopedValueRollback busy(m_inYmExit, true);
    if (!CheckYm())
        return false;
    const AccountRules::Period period = AccountRules::periodOf(*MonthKey::parse(ui->dbYm->text()));
    AccountDataset* ds = dataset();
    ds->setFieldValue(Db::cAccountName, period.name);
    ds->setFieldValue(Db::cBeginDate, period.begin.startOfDay());
    ds->setFieldValue(Db::cEndDate, period.end.startOfDay());
    m_derivedFrom = period.ym;
    return true;
}

// --- buttons -----------------------------------------------------------------

void TFrmAccount::btNewClick()
{
    AccountDataset* ds = dataset();
    ds->append();
    m_derivedFrom.clear();
    ds->setFieldValue(Db::cYm, MonthKey::of(Platform::today()).text());
    SetBrowseMode(false);
    ui->dbYm->setFocus(Qt::OtherFocusReason);
}

void TFrmAccount::btSaveClick()
{
    AccountDataset* ds = dataset();
    if (pending())
        m_mapper->submit();
    // A month not yet checked (Save reached through its shortcut, with the window
    // inactive, or after the check refused it) is checked here and the name and dates
    // filled in from it, as leaving the field does: no other key is ever stored.
    if (ds->fieldText(Db::cYm) != m_derivedFrom && !deriveFromYm())
        return;
    const QString ym = m_derivedFrom;
    if (Periods::exists(Mainmodule::db(), ym)) {
        // The save before lost its connection after sending the row: if the
        // row it sent is there, that save was stored (its month rolled over
        // before it), and the period is shown as saved instead of refused.
        if (ym == m_unanswered
            && Periods::storedAs(Mainmodule::db(), ym, ds->fieldText(Db::cAccountName),
                ds->fieldDateTime(Db::cBeginDate), ds->fieldDateTime(Db::cEndDate))) {
            m_unanswered.clear();
            ds->cancel();
            ds->open();
            ds->locate(ym, Qt::CaseSensitive);
            SetBrowseMode(true);
            ui->DBGridEh1->setFocus(Qt::OtherFocusReason);
            return;
        }
        warn(Prjconst::_CanNotAccount);
        return;
    }
    if (ui->AutoSchemeCb->isChecked()) {
        Q_EMIT autoSchemeStarting();
        try {
            AutoScheme();
        } catch (const Rollover::InputError& e) {
            // The period's month or dates cannot drive a roll-over: nothing was
            // written, and the period stays pending until the operator fixes it.
            warn(Platform::messageOf(e));
            return;
        }
    }
    try {
        ds->post();
    } catch (const Db::Error& e) {
        // The row may be stored though its answer never came: the next Save
        // looks for it rather than storing or refusing it blindly.
        if (e.connectionLost())
            m_unanswered = ym;
        if (e.connectionLost() || !Periods::exists(Mainmodule::db(), ym))
            throw;
        // Another workstation stored the same month since the check above: the
        // key refuses this row, which stays pending.
        warn(Prjconst::_CanNotAccount);
        return;
    }
    SetBrowseMode(true);
    // The stored period stays chosen in the list; Return then confirms it rather
    // than pressing whichever button took the focus from Save.
    ui->DBGridEh1->setFocus(Qt::OtherFocusReason);
}

void TFrmAccount::AutoScheme()
{
    // A blank date edit stands at its minimum: that is no date at all.
    const auto dateOf = [](const QDateEdit* edit) {
        return edit->date() == edit->minimumDate() ? QDateTime() : edit->date().startOfDay();
    };
    // Wait cursor and gauge while it works; both are put back on every way out.
    Rollover::GaugeProgress progress(ui->Gauge);
    // The month text was checked and written as a key before Save came here.
    const MonthKey ym = MonthKey::parse(ui->dbYm->text()).value_or(MonthKey());
    const Rollover::RolloverReport report
        = Rollover::runAutoScheme(Mainmodule::db(), ym, dateOf(ui->dtBegDate), dateOf(ui->dtEndDate), &progress);
    if (!report.failures.isEmpty())
        Platform::MessageBox(Rollover::failureMessage(report), windowTitle(), Platform::MB_ICONEXCLAMATION);
}

void TFrmAccount::btCancelClick()
{
    dataset()->cancel();
    SetBrowseMode(true);
}

void TFrmAccount::btDelClick()
{
    AccountDataset* ds = dataset();
    // Deleting stores whatever is pending, so it is done only while browsing.
    if (ds->state() == AccountDataset::State::Browse && ds->recordCount() > 0)
        ds->remove();
}
