<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AccountDataset</name>
    <message>
        <source>无法读取帐套表</source>
        <translation>Cannot read the account periods</translation>
    </message>
    <message>
        <source>无法打开帐套表</source>
        <translation>Cannot open the account periods</translation>
    </message>
    <message>
        <source>帐套表没有字段“%1”</source>
        <translation>The account periods table has no field &quot;%1&quot;</translation>
    </message>
    <message>
        <source>帐套数据集没有打开</source>
        <translation>The account periods are not open</translation>
    </message>
    <message>
        <source>帐套数据集没有当前记录</source>
        <translation>No account period is selected</translation>
    </message>
    <message>
        <source>无法修改字段“%1”</source>
        <translation>Cannot change the field &quot;%1&quot;</translation>
    </message>
    <message>
        <source>无法新建帐套</source>
        <translation>Cannot create the account period</translation>
    </message>
    <message>
        <source>无法保存帐套：%1 的帐套已经存在，可能刚由其他工作站建立。
请取消新建，重新打开帐套管理后选择该帐套。

%2</source>
        <translation>Cannot save the account period: the period %1 already exists, perhaps just created at another workstation.
Cancel the new period, open the account periods again and choose that period.

%2</translation>
    </message>
    <message>
        <source>无法保存帐套</source>
        <translation>Cannot save the account period</translation>
    </message>
    <message>
        <source>无法删除帐套</source>
        <translation>Cannot delete the account period</translation>
    </message>
</context>
<context>
    <name>Db::Query</name>
    <message>
        <source>连接已关闭</source>
        <translation>the connection is closed</translation>
    </message>
    <message>
        <source>与数据库服务器的连接已中断（%1）。
请检查数据库服务器和网络，然后再试一次。

%2</source>
        <translation>The connection to the database server was lost (%1).
Check the database server and the network, then try again.

%2</translation>
    </message>
    <message>
        <source>%1：数据库中已有相同关键字的记录。

%2</source>
        <translation>%1: the database already holds a record with the same key.

%2</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>无法查询数据库</source>
        <translation>Cannot query the database</translation>
    </message>
    <message>
        <source>无法读取查询结果</source>
        <translation>Cannot read the query results</translation>
    </message>
    <message>
        <source>无法执行数据库语句</source>
        <translation>Cannot run the database statement</translation>
    </message>
    <message>
        <source>字段“%1”不存在（%2）</source>
        <translation>The field &quot;%1&quot; does not exist (%2)</translation>
    </message>
</context>
<context>
    <name>ErrorReport</name>
    <message>
        <source>程序发生未知错误。</source>
        <translation>An unknown error occurred in the program.</translation>
    </message>
</context>
<context>
    <name>FrmLogin</name>
    <message>
        <source>登录身份验证</source>
        <translation>Sign In</translation>
    </message>
    <message>
        <source>选择帐套</source>
        <translation>Period</translation>
    </message>
    <message>
        <source>帐套管理</source>
        <translation>Manage account periods</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>用 户 名</source>
        <translation>User</translation>
    </message>
    <message>
        <source>密    码</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>登录(&amp;O)</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>取消(&amp;C)</source>
        <translation>&amp;Cancel</translation>
    </message>
</context>
<context>
    <name>FrmPassword</name>
    <message>
        <source>修改用户密码</source>
        <translation>Change Password</translation>
    </message>
    <message>
        <source>用户名(&amp;U)</source>
        <translation>&amp;User name</translation>
    </message>
    <message>
        <source>旧密码(&amp;O)</source>
        <translation>&amp;Old password</translation>
    </message>
    <message>
        <source>新密码(&amp;N)</source>
        <translation>&amp;New password</translation>
    </message>
    <message>
        <source>确认新密码</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>确定(&amp;O)</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>取消(&amp;C)</source>
        <translation>&amp;Cancel</translation>
    </message>
</context>
<context>
    <name>Mainmodule</name>
    <message>
        <source>没有数据库连接</source>
        <translation>There is no database connection</translation>
    </message>
    <message>
        <source>数据库连接已关闭</source>
        <translation>The database connection is closed</translation>
    </message>
    <message>
        <source>与数据库服务器的连接已中断，重新连接也没有成功。
请检查数据库服务器和网络，然后再试一次。

%1</source>
        <translation>The connection to the database server was lost, and connecting again did not succeed.
Check the database server and the network, then try again.

%1</translation>
    </message>
</context>
<context>
    <name>Platform::IniFile</name>
    <message>
        <source>无法写入配置文件 %1：%2</source>
        <translation>Cannot write the configuration file %1: %2</translation>
    </message>
</context>
<context>
    <name>Platform::MessageBox</name>
    <message>
        <source>是(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>否(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>Platform::Registry</name>
    <message>
        <source>无法写入注册表文件 %1：%2</source>
        <translation>Cannot write the registry file %1: %2</translation>
    </message>
    <message>
        <source>该位置是一个文件夹</source>
        <translation>that location is a folder</translation>
    </message>
    <message>
        <source>拒绝访问</source>
        <translation>access denied</translation>
    </message>
    <message>
        <source>注册表文件 %1 已损坏，无法读取；已改名为 %2 保留，记住的值将重新写入。</source>
        <translation>The registry file %1 is damaged and cannot be read. It has been kept as %2; the remembered values will be written again.</translation>
    </message>
    <message>
        <source>注册表项未打开</source>
        <translation>the registry key is not open</translation>
    </message>
    <message>
        <source>无法建立文件夹 %1</source>
        <translation>cannot create the folder %1</translation>
    </message>
</context>
<context>
    <name>Prjconst</name>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>询问</source>
        <translation>Question</translation>
    </message>
    <message>
        <source>该操作员已被停用，不能登录系统！</source>
        <translation>This operator has been disabled and cannot sign in.</translation>
    </message>
    <message>
        <source>密码错误，请重新输入！</source>
        <translation>Wrong password. Please enter it again.</translation>
    </message>
    <message>
        <source>该操作员不存在，请重新输入！</source>
        <translation>There is no such operator. Please enter the name again.</translation>
    </message>
    <message>
        <source>请先选择帐套！</source>
        <translation>Please choose an account period first.</translation>
    </message>
    <message>
        <source>您选择的帐套不是本月的帐套，是否继续登录？
选“是”继续，选“否”重新选择帐套。</source>
        <translation>The account period you chose is not this month&apos;s. Sign in anyway?
Choose Yes to go on, or No to choose another period.</translation>
    </message>
    <message>
        <source>用户名或密码不正确，或该操作员已被停用，不能进入帐套管理！</source>
        <translation>The user name or password is wrong, or the operator has been disabled: the account periods cannot be opened.</translation>
    </message>
    <message>
        <source>该用户名不存在！</source>
        <translation>There is no such user name.</translation>
    </message>
    <message>
        <source>旧密码不正确！</source>
        <translation>The old password is wrong.</translation>
    </message>
    <message>
        <source>两次输入的新密码不一致！</source>
        <translation>The two new passwords do not match.</translation>
    </message>
    <message>
        <source>密码修改失败，数据库不接受该密码！</source>
        <translation>The password was not changed: the database does not accept it.</translation>
    </message>
    <message>
        <source>密码修改成功，请用新密码重新登录。</source>
        <translation>The password has been changed. Please sign in again with the new password.</translation>
    </message>
    <message>
        <source>该月份的帐套已经存在，不能重复建立！</source>
        <translation>An account period for that month already exists; it cannot be created again.</translation>
    </message>
    <message>
        <source>帐套月份不正确，请按“年-月”的格式输入，例如 2026-03！</source>
        <translation>The month of the period is not valid. Enter it as year-month, for example 2026-03.</translation>
    </message>
    <message>
        <source>本月的帐套还没有建立，请先新建本月帐套。</source>
        <translation>The account period of this month has not been created yet. Please create it first.</translation>
    </message>
    <message>
        <source>该用户连续输错密码的次数过多，已被暂时锁定。
请在 %1 后再试。</source>
        <translation>Too many wrong passwords in a row: this user is locked for a while.
Please try again in %1.</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>%1 分 %2 秒</source>
        <translation>%1 min %2 s</translation>
    </message>
</context>
<context>
    <name>TFrmAccount</name>
    <message>
        <source>帐套管理</source>
        <translation>Account Periods</translation>
    </message>
    <message>
        <source>新建帐套</source>
        <translation>New</translation>
    </message>
    <message>
        <source>删除帐套</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>确定(&amp;O)</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>取消(&amp;X)</source>
        <translation>Clos&amp;e</translation>
    </message>
    <message>
        <source>保存(&amp;S)</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>取消(&amp;C)</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>选择帐套</source>
        <translation>Choose a Period</translation>
    </message>
    <message>
        <source>帐套月份</source>
        <translation>Month</translation>
    </message>
    <message>
        <source>帐套名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>开始日期</source>
        <translation>First day</translation>
    </message>
    <message>
        <source>结束日期</source>
        <translation>Last day</translation>
    </message>
    <message>
        <source>按最后排班表自动生成帐套月排班</source>
        <translation>Continue last month&apos;s shifts</translation>
    </message>
    <message>
        <source>没有数据库连接</source>
        <translation>There is no database connection</translation>
    </message>
</context>
<context>
    <name>TFrmLogin</name>
    <message>
        <source>没有数据库连接</source>
        <translation>There is no database connection</translation>
    </message>
</context>
</TS>
