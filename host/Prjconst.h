#pragma once
// Registry key of the suite and the message texts its forms show.
#include <QCoreApplication>
#include <QString>
#include <string>
#include <utility>

namespace Prjconst {

// Key under HKEY_CURRENT_USER that holds the remembered sign-in values.
inline const QString UserKey = QStringLiteral("Software\\Kolvane\\OneCard");

// A message text: its Chinese source, read in the operator's language. The
// constants exist before any translator is installed, so the translation is
// looked up each time the text is used.
struct ResourceString
{
    const char* source;

    operator QString() const { return QCoreApplication::translate("Prjconst", source); }
    template <typename... Args> QString arg(Args&&... args) const
    {
        return QString(*this).arg(std::forward<Args>(args)...);
    }
};

// Captions
inline constexpr ResourceString _msg_Error { QT_TRANSLATE_NOOP("Prjconst", "错误") };
inline constexpr ResourceString _msg_Information { QT_TRANSLATE_NOOP("Prjconst", "提示") };
inline constexpr ResourceString _msg_Question { QT_TRANSLATE_NOOP("Prjconst", "询问") };

// Sign-in
inline constexpr ResourceString _msgOpUserStop { QT_TRANSLATE_NOOP("Prjconst", "该操作员已被停用，不能登录系统！") };
inline constexpr ResourceString _PassWordError { QT_TRANSLATE_NOOP("Prjconst", "密码错误，请重新输入！") };
inline constexpr ResourceString _UserNotExists { QT_TRANSLATE_NOOP("Prjconst", "该操作员不存在，请重新输入！") };
inline constexpr ResourceString _AccountIsEmpty { QT_TRANSLATE_NOOP("Prjconst", "请先选择帐套！") };
// Yes goes on with the chosen period (first offering to create this month's
// period when it is missing); No lets the operator choose again.
inline constexpr ResourceString _msgAccountSelect { QT_TRANSLATE_NOOP(
    "Prjconst", "您选择的帐套不是本月的帐套，是否继续登录？\n选“是”继续，选“否”重新选择帐套。") };
inline constexpr ResourceString _msgOpenAccout { QT_TRANSLATE_NOOP(
    "Prjconst", "用户名或密码不正确，或该操作员已被停用，不能进入帐套管理！") };
// The operation-log entry of a sign-in. It is data that other modules of the
// suite read, so it stays Chinese whatever the operator's language. One
// argument: the Chinese caption of the window the operator signed in through.
inline const QString _IntoModule = QStringLiteral("通过“%1”登录系统");
// Too many wrong passwords in a row for one name; one argument: how long to wait.
inline constexpr ResourceString _msgUserLocked { QT_TRANSLATE_NOOP(
    "Prjconst", "该用户连续输错密码的次数过多，已被暂时锁定。\n请在 %1 后再试。") };
inline constexpr ResourceString _WaitSeconds { QT_TRANSLATE_NOOP("Prjconst", "%1 秒") };
inline constexpr ResourceString _WaitMinutes { QT_TRANSLATE_NOOP("Prjconst", "%1 分 %2 秒") };

// Password change
inline constexpr ResourceString _UserNameNotExists { QT_TRANSLATE_NOOP("Prjconst", "该用户名不存在！") };
inline constexpr ResourceString _OldPassWordErr { QT_TRANSLATE_NOOP("Prjconst", "旧密码不正确！") };
inline constexpr ResourceString _SPassWordDif { QT_TRANSLATE_NOOP("Prjconst", "两次输入的新密码不一致！") };
inline constexpr ResourceString _NewPassWordEmpty { QT_TRANSLATE_NOOP("Prjconst", "新密码不能为空！") };
inline constexpr ResourceString _SPassWordLenISZero { QT_TRANSLATE_NOOP(
    "Prjconst", "密码修改失败，数据库不接受该密码！") };
inline constexpr ResourceString _SPassWordChangeOk { QT_TRANSLATE_NOOP(
    "Prjconst", "密码修改成功，请用新密码重新登录。") };

// Account periods
inline constexpr ResourceString _CanNotAccount { QT_TRANSLATE_NOOP(
    "Prjconst", "该月份的帐套已经存在，不能重复建立！") };
inline constexpr ResourceString _ErrorAccount { QT_TRANSLATE_NOOP(
    "Prjconst", "帐套月份不正确，请按“年-月”的格式输入，例如 2026-03！") };
inline constexpr ResourceString _msgCreateAccount { QT_TRANSLATE_NOOP(
    "Prjconst", "本月的帐套还没有建立，请先新建本月帐套。") };
// Suffix of a new period's name: stored in Accounts, so Chinese in every language.
inline const QString _AccountStr = QStringLiteral("月帐套");

} // namespace Prjconst
