#pragma once
// The operators dialog of the 管理 menu: the operators listed, and each change
// made through OperatorAdmin, so that the rules and messages are those of
// `kolvane-db user`. The dialogs only show and ask.
#include "signin/OperatorAdmin.h"

#include <QDialog>
#include <optional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

// Asks for what a change needs: a new operator (name, id, password twice,
// rights), a new password (twice), or the rights. OK makes the change; a
// refusal is told and the dialog stays open.
class TFrmOperatorEdit : public QDialog
{
    Q_OBJECT
public:
    enum class Mode
    {
        Add,
        ResetPassword,
        Rights,
    };
    TFrmOperatorEdit(Mode mode, const OperatorAdmin::Actor& actor, const OperatorAdmin::Entry& target,
        QWidget* parent = nullptr);

    QLineEdit* nameEdit() const { return m_name; }
    QLineEdit* idEdit() const { return m_id; }
    QLineEdit* passwordEdit() const { return m_password; }
    QLineEdit* againEdit() const { return m_again; }
    QCheckBox* rightBox(int index) const { return m_rights[index]; } // create, delete, operators, import
    void okClick();

private:
    OperatorAdmin::Result apply();

    Mode m_mode;
    OperatorAdmin::Actor m_actor;
    OperatorAdmin::Entry m_target;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_id = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_again = nullptr;
    QCheckBox* m_rights[4] = {};
};

class TFrmOperators : public QDialog
{
    Q_OBJECT
public:
    // `actor` makes the changes: the signed-in operator.
    explicit TFrmOperators(const OperatorAdmin::Actor& actor, QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    // Handlers of the buttons, on the selected operator.
    void addClick();
    void stopClick(); // stops, or starts a stopped operator
    void resetClick();
    void rightsClick();
    void unlockClick();
    // Reads the operators again, keeping the selected one.
    void reload();

private:
    std::optional<OperatorAdmin::Entry> selected() const;
    void edit(TFrmOperatorEdit::Mode mode, const OperatorAdmin::Entry& target);
    // Tells how a change went and lists the operators again.
    void tell(const OperatorAdmin::Result& result);
    void updateButtons();

    OperatorAdmin::Actor m_actor;
    QList<OperatorAdmin::Entry> m_operators;
    QTableWidget* m_table;
    QPushButton* m_stop;
    QList<QPushButton*> m_needRow;
};
