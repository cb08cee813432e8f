#pragma once
// Registry key of the suite and the message texts its forms show.
#include <QString>

namespace Prjconst {

// Key under HKEY_CURRENT_USER that holds the remembered sign-in values.
inline const QString UserKey = QStringLiteral("Software\\Kolvane\\OneCard");

// Captions
inline const QString _msg_Error = QStringLiteral("错误");
inline const QString _msg_Information = QStringLiteral("提示");
inline const QString _msg_Question = QStringLiteral("询问");

// Sign-in
inline const QString _msgOpUserStop = QStringLiteral("该操作员已被停用，不能登录系统！");
inline const QString _PassWordError = QStringLiteral("密码错误，请重新输入！");
inline const QString _UserNotExists = QStringLiteral("该操作员不存在，请重新输入！");
inline const QString _AccountIsEmpty = QStringLiteral("请先选择帐套！");
// Yes goes on with the chosen period (first offering to create this month's
// period when it is missing); No lets the operator choose again.
inline const QString _msgAccountSelect =
    QStringLiteral("您选择的帐套不是本月的帐套，是否继续登录？\n选“是”继续，选“否”重新选择帐套。");
inline const QString _msgOpenAccout = QStringLiteral("用户名或密码不正确，或该操作员已被停用，不能进入帐套管理！");
// One argument: the caption of the window the operator signed in through.
inline const QString _IntoModule = QStringLiteral("通过“%1”登录系统");
// Too many wrong passwords in a row for one name; one argument: how long to wait.
inline const QString _msgUserLocked = QStringLiteral("该用户连续输错密码的次数过多，已被暂时锁定。\n请在 %1 后再试。");
inline const QString _WaitSeconds = QStringLiteral("%1 秒");
inline const QString _WaitMinutes = QStringLiteral("%1 分 %2 秒");

// Password change
inline const QString _UserNameNotExists = QStringLiteral("该用户名不存在！");
inline const QString _OldPassWordErr = QStringLiteral("旧密码不正确！");
inline const QString _SPassWordDif = QStringLiteral("两次输入的新密码不一致！");
inline const QString _SPassWordLenISZero = QStringLiteral("密码修改失败，数据库不接受该密码！");
inline const QString _SPassWordChangeOk = QStringLiteral("密码修改成功，请用新密码重新登录。");

// Account periods
inline const QString _CanNotAccount = QStringLiteral("该月份的帐套已经存在，不能重复建立！");
inline const QString _ErrorAccount = QStringLiteral("帐套月份不正确，请按“年-月”的格式输入，例如 2026-03！");
inline const QString _msgCreateAccount = QStringLiteral("本月的帐套还没有建立，请先新建本月帐套。");
inline const QString _AccountStr = QStringLiteral("月帐套");

} // namespace Prjconst
