#include "signin/ui/OperatorsDialog.h"

#include "host/Mainmodule.h"
#include "host/Prjconst.h"
#include "host/ui/ErrorReport.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ModalShow.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The window conventions of the sign-in dialogs: a title and a close button.
void dialogFrame(QDialog* dialog)
{
    dialog->setWindowFlags(
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

QPushButton* button(const QString& text, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TFrmOperatorEdit::TFrmOperatorEdit(
    Mode mode, const OperatorAdmin::Actor& actor, const OperatorAdmin::Entry& target, QWidget* parent)
    : QDialog(parent)
    , m_mode(mode)
    , m_actor(actor)
    , m_target(target)
{
    setObjectName(QStringLiteral("FrmOperatorEdit"));
    dialogFrame(this);
    setWindowTitle(mode == Mode::Add             ? tr("新增操作员")
            : mode == Mode::ResetPassword ? tr("重设密码 - %1").arg(target.name)
                                          : tr("权限 - %1").arg(target.name));
    auto* form = new QFormLayout;
    const auto addEdit = [&](const QString& label, const QString& name, bool password) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(name);
        if (password)
            edit->setEchoMode(QLineEdit::Password);
        form->addRow(label, edit);
        return edit;
    };
    if (mode == Mode::Add) {
        m_name = addEdit(tr("名称(&N)："), QStringLiteral("edName"), false);
        m_id = addEdit(tr("编号(&I)："), QStringLiteral("edId"), false);
        m_id->setPlaceholderText(tr("不填时自动编号"));
    }
    if (mode != Mode::Rights) {
        m_password = addEdit(tr("密码(&P)："), QStringLiteral("edPassword"), true);
        m_again = addEdit(tr("再输入一次(&A)："), QStringLiteral("edAgain"), true);
    }
    if (mode != Mode::ResetPassword) {
        const QString labels[4]
            = { tr("新建帐套(&C)"), tr("删除帐套(&D)"), tr("管理操作员(&M)"), tr("导入数据(&E)") };
        const bool values[4] = { bool(target.rights.account & AccountRules::RightCreate),
            bool(target.rights.account & AccountRules::RightDelete), target.rights.manageOperators,
            target.rights.importData };
        for (int i = 0; i < 4; ++i) {
            m_rights[i] = new QCheckBox(labels[i], this);
            m_rights[i]->setChecked(values[i]);
            form->addRow(i == 0 ? tr("权限：") : QString(), m_rights[i]);
        }
    }
    if (mode != Mode::Rights)
        form->addRow(new QLabel(tr("下次登录时须修改密码。"), this));
    auto* ok = new QPushButton(tr("确定(&O)"), this);
    ok->setObjectName(QStringLiteral("btnOk"));
    ok->setDefault(true);
    auto* cancel = button(tr("取消(&X)"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, ErrorReport::guarded([this] { okClick(); }));
    connect(cancel, &QPushButton::clicked, this, [this] { done(Platform::mrCancel); });
}

OperatorAdmin::Result TFrmOperatorEdit::apply()
{
    const QSqlDatabase db = Mainmodule::db();
    AccountRules::Rights rights = m_target.rights;
    if (m_rights[0]) {
        rights.account = (m_rights[0]->isChecked() ? AccountRules::RightCreate : 0)
            | (m_rights[1]->isChecked() ? AccountRules::RightDelete : 0);
        rights.manageOperators = m_rights[2]->isChecked();
        rights.importData = m_rights[3]->isChecked();
    }
    if (m_password) {
        const QString problem = OperatorAdmin::passwordProblem(m_password->text(), m_again->text());
        if (!problem.isEmpty())
            return { false, problem, {}, false };
    }
    switch (m_mode) {
    case Mode::Add:
        return OperatorAdmin::add(db, m_actor, { m_name->text(), m_id->text(), rights }, m_password->text());
    case Mode::ResetPassword:
        return OperatorAdmin::resetPassword(db, m_actor, m_target.name, m_password->text());
    case Mode::Rights:
        break;
    }
    return OperatorAdmin::setRights(db, m_actor, m_target.name, rights);
}

void TFrmOperatorEdit::okClick()
{
    const OperatorAdmin::Result result = apply();
    if (result.done) {
        Platform::MessageBox(result.message, Prjconst::_msg_Information, Platform::MB_ICONINFORMATION);
        done(Platform::mrOk);
        return;
    }
    Platform::MessageBox(result.message, Prjconst::_msg_Error, Platform::MB_ICONSTOP);
    if (m_password) {
        m_password->clear();
        m_again->clear();
    }
}

TFrmOperators::TFrmOperators(const OperatorAdmin::Actor& actor, QWidget* parent)
    : QDialog(parent)
    , m_actor(actor)
    , m_table(new QTableWidget(this))
    , m_stop(button(tr("停用(&T)"), this))
{
    setObjectName(QStringLiteral("FrmOperators"));
    dialogFrame(this);
    setWindowTitle(tr("操作员"));
    resize(900, 420);
    m_table->setObjectName(QStringLiteral("gridOperators"));
    m_table->setColumnCount(9);
    m_table->setHorizontalHeaderLabels({ tr("名称"), tr("编号"), tr("停用"), tr("须改密码"), tr("新建帐套"),
        tr("删除帐套"), tr("管理操作员"), tr("导入数据"), tr("锁定至") });
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(8, QHeaderView::Stretch);
    auto* add = button(tr("新增(&N)…"), this);
    auto* reset = button(tr("重设密码(&P)…"), this);
    auto* rights = button(tr("权限(&R)…"), this);
    auto* unlock = button(tr("解锁(&L)"), this);
    auto* close = button(tr("关闭(&C)"), this);
    m_needRow = { m_stop, reset, rights, unlock };
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : { add, m_stop, reset, rights, unlock })
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, ErrorReport::guarded([this] { addClick(); }));
    connect(m_stop, &QPushButton::clicked, this, ErrorReport::guarded([this] { stopClick(); }));
    connect(reset, &QPushButton::clicked, this, ErrorReport::guarded([this] { resetClick(); }));
    connect(rights, &QPushButton::clicked, this, ErrorReport::guarded([this] { rightsClick(); }));
    connect(unlock, &QPushButton::clicked, this, ErrorReport::guarded([this] { unlockClick(); }));
    connect(close, &QPushButton::clicked, this, [this] { done(Platform::mrCancel); });
    connect(m_table, &QTableWidget::currentCellChanged, this, [this] { updateButtons(); });
    reload();
    m_table->setFocus();
}

void TFrmOperators::reload()
{
    const std::optional<OperatorAdmin::Entry> was = selected();
    m_operators = OperatorAdmin::load(Mainmodule::db());
    m_table->setRowCount(int(m_operators.size()));
    const auto yesNo = [](bool value) { return value ? tr("是") : tr("否"); };
    int current = 0;
    for (int row = 0; row < m_operators.size(); ++row) {
        const OperatorAdmin::Entry& e = m_operators.at(row);
        const QString cells[9] = { e.name, e.id, yesNo(e.stopped), yesNo(e.isNew),
            yesNo(e.rights.account & AccountRules::RightCreate), yesNo(e.rights.account & AccountRules::RightDelete),
            yesNo(e.rights.manageOperators), yesNo(e.rights.importData),
            e.lockedUntil.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) };
        for (int column = 0; column < 9; ++column)
            m_table->setItem(row, column, new QTableWidgetItem(cells[column]));
        if (was && was->name == e.name && was->id == e.id)
            current = row;
    }
    m_table->resizeColumnsToContents();
    if (!m_operators.isEmpty())
        m_table->setCurrentCell(current, 0);
    updateButtons();
}

std::optional<OperatorAdmin::Entry> TFrmOperators::selected() const
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_operators.size())
        return std::nullopt;
    return m_operators.at(row);
}

void TFrmOperators::updateButtons()
{
    const std::optional<OperatorAdmin::Entry> e = selected();
    for (QPushButton* b : std::as_const(m_needRow))
        b->setEnabled(e.has_value());
    m_stop->setText(e && e->stopped ? tr("启用(&T)") : tr("停用(&T)"));
}

void TFrmOperators::edit(TFrmOperatorEdit::Mode mode, const OperatorAdmin::Entry& target)
{
    TFrmOperatorEdit dialog(mode, m_actor, target, this);
    if (Platform::ShowModal(&dialog) == Platform::mrOk)
        reload();
}

void TFrmOperators::tell(const OperatorAdmin::Result& result)
{
    if (result.done)
        Platform::MessageBox(result.message, Prjconst::_msg_Information, Platform::MB_ICONINFORMATION);
    else
        Platform::MessageBox(result.message, Prjconst::_msg_Error, Platform::MB_ICONSTOP);
    reload();
}

void TFrmOperators::addClick()
{
    edit(TFrmOperatorEdit::Mode::Add, {});
}

void TFrmOperators::stopClick()
{
    if (const std::optional<OperatorAdmin::Entry> e = selected())
        tell(OperatorAdmin::setStopped(Mainmodule::db(), m_actor, e->name, !e->stopped));
}

void TFrmOperators::resetClick()
{
    if (const std::optional<OperatorAdmin::Entry> e = selected())
        edit(TFrmOperatorEdit::Mode::ResetPassword, *e);
}

void TFrmOperators::rightsClick()
{
    if (const std::optional<OperatorAdmin::Entry> e = selected())
        edit(TFrmOperatorEdit::Mode::Rights, *e);
}

void TFrmOperators::unlockClick()
{
    if (const std::optional<OperatorAdmin::Entry> e = selected())
        tell(OperatorAdmin::unlock(Mainmodule::db(), m_actor, e->name));
}
