<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AccessImport</name>
    <message>
        <source>导入此 Access 数据库…</source>
        <translation>Import this Access database…</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>无法把 %1 改名为 %2</source>
        <translation>Cannot rename %1 to %2</translation>
    </message>
    <message>
        <source>正在读取 Access 数据库……</source>
        <translation>Reading the Access database…</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>导入已取消，没有任何改动。</source>
        <translation>The import was cancelled; nothing was changed.</translation>
    </message>
    <message>
        <source>导入失败，没有任何改动：
%1</source>
        <translation>The import failed; nothing was changed:
%1</translation>
    </message>
    <message>
        <source>
已导入到：%1
原 Access 文件保存为：%2</source>
        <translation>
Imported into: %1
The Access file is kept as: %2</translation>
    </message>
    <message>
        <source>数据库文件是 Windows 版一卡通系统的 Access 数据库：
%1

导入后原文件要改名为 %2，但该文件已存在。请先把它移走，再启动本程序。</source>
        <translation>The database file is an Access database of the Windows suite:
%1

After the import it would be renamed %2, but that file exists. Move it away first, then start this program again.</translation>
    </message>
    <message>
        <source>数据库文件是 Windows 版一卡通系统的 Access 数据库：
%1

可以把它导入为本系统的数据库。导入后新的数据库取代它，原文件改名保存为：
%2</source>
        <translation>The database file is an Access database of the Windows suite:
%1

It can be imported into a database of this system. The new database then takes its place and the Access file is kept as:
%2</translation>
    </message>
    <message>
        <source>该文件只有链接表，数据在其他文件或数据源中；请用 kolvane-db import 导入那些文件本身。</source>
        <translation>The file only links to tables kept in other files or data sources; import those files themselves with kolvane-db import.</translation>
    </message>
    <message>
        <source>无法读取 Access 数据库，没有任何改动：
%1</source>
        <translation>Cannot read the Access database; nothing was changed:
%1</translation>
    </message>
</context>
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
    <name>AdminMenu</name>
    <message>
        <source>管理(&amp;A)</source>
        <translation>&amp;Admin</translation>
    </message>
    <message>
        <source>操作员(&amp;U)…</source>
        <translation>&amp;Operators…</translation>
    </message>
    <message>
        <source>导入员工(&amp;E)…</source>
        <translation>Import &amp;Employees…</translation>
    </message>
    <message>
        <source>导入班次规则(&amp;R)…</source>
        <translation>Import Shift &amp;Rules…</translation>
    </message>
    <message>
        <source>导入排班(&amp;S)…</source>
        <translation>Import &amp;Schedules…</translation>
    </message>
    <message>
        <source>导出员工(&amp;M)…</source>
        <translation>Export E&amp;mployees…</translation>
    </message>
    <message>
        <source>导出班次规则(&amp;L)…</source>
        <translation>Export Shift Ru&amp;les…</translation>
    </message>
    <message>
        <source>导出排班(&amp;H)…</source>
        <translation>Export Sc&amp;hedules…</translation>
    </message>
</context>
<context>
    <name>Csv</name>
    <message>
        <source>无法读取文件 %1：%2</source>
        <translation>Cannot read the file %1: %2</translation>
    </message>
    <message>
        <source>文件 %1 既不是 UTF-8 也不是 GB18030 编码的文本，无法读取。</source>
        <translation>The file %1 is text in neither UTF-8 nor GB18030 and cannot be read.</translation>
    </message>
    <message>
        <source>无法写标准输出</source>
        <translation>Cannot write to standard output</translation>
    </message>
    <message>
        <source>无法写文件 %1：%2</source>
        <translation>Cannot write the file %1: %2</translation>
    </message>
    <message>
        <source>标准输出</source>
        <translation>standard output</translation>
    </message>
    <message>
        <source>文件 %1 超过 %2 MB，不是员工或排班的表格，没有读取。</source>
        <translation>The file %1 is larger than %2 MB, which no employee or schedule sheet is; it was not read.</translation>
    </message>
</context>
<context>
    <name>CycleShift</name>
    <message>
        <source>轮班规则“%1”的周期长度为 0</source>
        <translation>The rotation rule &quot;%1&quot; has a cycle length of 0</translation>
    </message>
    <message>
        <source>轮班起始日期无效</source>
        <translation>The rotation start date is not valid</translation>
    </message>
    <message>
        <source>轮班规则表缺少字段“%1”</source>
        <translation>The shift rules table has no field &quot;%1&quot;</translation>
    </message>
</context>
<context>
    <name>Db</name>
    <message>
        <source>已经保存的排班保留不变，其余的没有保存。连接恢复后请再次保存，系统会补全这个月的排班，每名员工仍只有一行。</source>
        <translation>The schedules already saved are kept; the rest were not saved. Save again once the connection is back: the month&apos;s schedules are completed, still one row per employee.</translation>
    </message>
    <message>
        <source>数据库拒绝保存：%1</source>
        <translation>The database refused to store it: %1</translation>
    </message>
    <message>
        <source>无法保存排班</source>
        <translation>Cannot save the schedule</translation>
    </message>
    <message>
        <source>无法保存员工 %1 的排班</source>
        <translation>Cannot save the schedule of employee %1</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1：数据库文件一直被其他工作站占用，请稍后再试。</source>
        <translation>%1: another workstation has kept the database file busy; please try again later.</translation>
    </message>
</context>
<context>
    <name>Db::Query</name>
    <message>
        <source>与数据库服务器的连接已中断（%1）。
请检查数据库服务器和网络，然后再试一次。</source>
        <translation>The connection to the database server was lost (%1).
Check the database server and the network, then try again.</translation>
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
    <message>
        <source>数据库服务器 %1 的资源不足（磁盘空间已满或内存不足），无法继续保存。
请在服务器上腾出空间后再试一次。</source>
        <translation>The database server %1 has run out of resources (its disk is full or it is out of memory); nothing more can be saved.
Free space on the server, then try again.</translation>
    </message>
    <message>
        <source>数据库所在的磁盘已满，无法继续保存。
请在目录 %1 所在的磁盘上腾出空间后再试一次。</source>
        <translation>The disk that holds the database is full; nothing more can be saved.
Free space on the disk of the directory %1, then try again.</translation>
    </message>
    <message>
        <source>数据库服务器 %1 只允许读取，无法继续保存。
请让管理员确认这个数据库可以写入后再试一次。</source>
        <translation>The database server %1 accepts reads only; nothing more can be saved.
Ask the administrator to make the database writable, then try again.</translation>
    </message>
    <message>
        <source>数据库文件不能写入，无法继续保存。
请确认目录 %1 中的数据库文件和目录本身可以写入后再试一次。</source>
        <translation>The database file cannot be written; nothing more can be saved.
Make sure the database file in the directory %1, and the directory itself, can be written, then try again.</translation>
    </message>
    <message>
        <source>数据库服务器 %1 读写数据时出错，无法继续保存。
请让管理员检查服务器后再试一次。</source>
        <translation>The database server %1 failed to read or write its data; nothing more can be saved.
Ask the administrator to check the server, then try again.</translation>
    </message>
    <message>
        <source>读写数据库文件时出错，无法继续保存。
请检查目录 %1 所在的磁盘后再试一次。</source>
        <translation>Reading or writing the database file failed; nothing more can be saved.
Check the disk of the directory %1, then try again.</translation>
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
    <name>Import</name>
    <message>
        <source>表 %1 的列 %2 中有无法读出的长文本或 OLE 对象</source>
        <translation>Column %2 of table %1 holds a long text or OLE object that cannot be read</translation>
    </message>
    <message>
        <source>不是 Access 数据库文件（.mdb、.accdb），或无法读取：%1</source>
        <translation>Not an Access database file (.mdb, .accdb), or it cannot be read: %1</translation>
    </message>
    <message>
        <source>无法打开 Access 数据库文件：%1</source>
        <translation>Cannot open the Access database file: %1</translation>
    </message>
    <message>
        <source>不支持代码页 %1</source>
        <translation>The code page %1 is not supported</translation>
    </message>
    <message>
        <source>无法读出 Access 数据库的目录：文件已加密（设有数据库密码）或已损坏：%1</source>
        <translation>Cannot read the catalogue of the Access database: the file is encrypted (it has a database password) or damaged: %1</translation>
    </message>
    <message>
        <source>无法读出表 %1 的定义</source>
        <translation>Cannot read the definition of table %1</translation>
    </message>
    <message>
        <source>多值、附件或历史记录字段</source>
        <translation>multi-value, attachment or history field</translation>
    </message>
    <message>
        <source>Access 2019 的扩展日期/时间</source>
        <translation>Access 2019 extended date/time</translation>
    </message>
    <message>
        <source>未知类型 0x%1</source>
        <translation>unknown type 0x%1</translation>
    </message>
    <message>
        <source>计算列：%1</source>
        <translation>calculated column: %1</translation>
    </message>
    <message>
        <source>Access 数据库中没有表 %1</source>
        <translation>The Access database has no table %1</translation>
    </message>
    <message>
        <source>表 %1 的定义在读取时改变了</source>
        <translation>The definition of table %1 changed while it was read</translation>
    </message>
    <message>
        <source>主键 (%1)</source>
        <translation>primary key (%1)</translation>
    </message>
    <message>
        <source>唯一索引 %1 (%2)</source>
        <translation>unique index %1 (%2)</translation>
    </message>
    <message>
        <source>%1：列 %2 未导入</source>
        <translation>%1: column %2 is not imported</translation>
    </message>
    <message>
        <source>%1：有重复的值或空值</source>
        <translation>%1: duplicate or empty values</translation>
    </message>
    <message>
        <source>表 %1 中没有能读出的列</source>
        <translation>Table %1 has no column that can be read</translation>
    </message>
    <message>
        <source>无法写入表 %1</source>
        <translation>Cannot write table %1</translation>
    </message>
    <message>
        <source>无法把表 %1 的第 %2 行写入 %3</source>
        <translation>Cannot write row %2 of table %1 into %3</translation>
    </message>
    <message>
        <source>无法把表 %1 写入 %2</source>
        <translation>Cannot write table %1 into %2</translation>
    </message>
    <message>
        <source>一卡通系统的键</source>
        <translation>the suite&apos;s keys</translation>
    </message>
    <message>
        <source>主键和唯一索引：文件中的定义无法完整读出，没有建立</source>
        <translation>primary key and unique indexes: their definitions in the file cannot be read whole; none were made</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>一卡通系统的键：%1</source>
        <translation>the suite&apos;s keys: %1</translation>
    </message>
    <message>
        <source>未知</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>表 %1 → %2：读出 %3 行，写入 %4 行，目录记载 %5 行</source>
        <translation>Table %1 → %2: %3 rows read, %4 written, %5 in the catalogue</translation>
    </message>
    <message>
        <source>表 %1：读出 %2 行，目录记载 %3 行</source>
        <translation>Table %1: %2 rows read, %3 in the catalogue</translation>
    </message>
    <message>
        <source>  注意：读出的行数与目录记载的不符</source>
        <translation>  Note: the rows read differ from the catalogue&apos;s count</translation>
    </message>
    <message>
        <source>  损坏而无法读出的行：%1</source>
        <translation>  Damaged rows that could not be read: %1</translation>
    </message>
    <message>
        <source>  保留的键：%1</source>
        <translation>  Keys kept: %1</translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>  舍弃的键：%1</source>
        <translation>  Keys dropped: %1</translation>
    </message>
    <message>
        <source>  无法如实读出、未导入的列：%1</source>
        <translation>  Columns that cannot be read faithfully, not imported: %1</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>%1：已读 %2 行，完成</source>
        <translation>%1: %2 rows read, done</translation>
    </message>
    <message>
        <source>%1：正在读取……</source>
        <translation>%1: reading...</translation>
    </message>
    <message>
        <source>%1：已读 %2 行</source>
        <translation>%1: %2 rows read</translation>
    </message>
    <message>
        <source>有需要注意的地方，见上。</source>
        <translation>Some of this needs attention: see above.</translation>
    </message>
    <message>
        <source>导入 Access 数据库，或员工、班次规则、排班表的 CSV 文件</source>
        <translation>Imports an Access database, or CSV files of employees, shift rules or schedules</translation>
    </message>
    <message>
        <source>用法：
  kolvane-db import [--code-page 代码页] [--check] Access文件 [文件 | --db 文件]
  kolvane-db import --server 连接参数 [--code-page 代码页] Access文件
  kolvane-db import employees|rules [--dry-run] 文件 [--db 文件 | --server 连接参数]
  kolvane-db import schedule 月份 [--dry-run] 文件 [--db 文件 | --server 连接参数]

Access 数据库（.mdb、.accdb）的全部数据表导入新的数据库文件（默认为一卡通目录中的 Kolvane.mdb，
已存在的文件不会被覆盖），或导入 PostgreSQL 服务器上没有一卡通数据表的数据库。
  --code-page 代码页  Access 97 文件的代码页（默认取文件头中的；中文 Windows 为 936）
  --check             只读取并报告，不写入

员工、班次规则和该月（yyyy-mm）的排班表：CSV 文件，第一行为列名；文件为 - 时读标准输入。
文件中有一行出错时，数据库不做任何改动。
  --dry-run           只列出将有的改动，不写入

退出码（Access 文件）：0 成功；2 用法错误；3 目标已存在或已有一卡通数据表；4 写入失败，
或文件只有链接表；5 无法打开 Access 文件或连接服务器；6 Access 文件已损坏，无法读完。
退出码（CSV 文件）：0 成功；2 用法错误；4 被拒绝或失败；5 无法打开数据库；
6 导入文件无法读取或有错误的行。
</source>
        <translation>Usage:
  kolvane-db import [--code-page N] [--check] ACCESS_FILE [FILE | --db FILE]
  kolvane-db import --server CONNECTION [--code-page N] ACCESS_FILE
  kolvane-db import employees|rules [--dry-run] FILE [--db FILE | --server CONNECTION]
  kolvane-db import schedule MONTH [--dry-run] FILE [--db FILE | --server CONNECTION]

Every table of an Access database (.mdb, .accdb) into a new database file (by default Kolvane.mdb in the
suite directory; an existing file is never overwritten), or into a database on a PostgreSQL server that has
none of the suite&apos;s tables.
  --code-page N       the code page of an Access 97 file (default: its header&apos;s; Chinese Windows: 936)
  --check             read and report only; write nothing

Employees, shift rules and the schedules of a month (yyyy-mm): CSV files whose first line names the columns;
FILE - reads standard input. When any row of the file is wrong, the database is not changed at all.
  --dry-run           list the changes only; write nothing

Exit codes (Access file): 0 done; 2 wrong arguments; 3 the target exists or has the suite&apos;s tables;
4 writing failed, or the file holds linked tables only; 5 the Access file cannot be opened or the server
cannot be reached; 6 the Access file is damaged and cannot be read to its end.
Exit codes (CSV files): 0 done; 2 wrong arguments; 4 refused or failed; 5 the database cannot be opened;
6 the input file cannot be read or has bad rows.
</translation>
    </message>
    <message>
        <source>代码页不正确：%1</source>
        <translation>Invalid code page: %1</translation>
    </message>
    <message>
        <source>警告：%1 旁边有锁定文件 %2，Access 或一卡通系统可能仍在使用它；请先关闭所有使用它的程序，否则读到的数据可能不完整。</source>
        <translation>Warning: there is a lock file %2 beside %1: Access or the suite may still be using it. Close every program that uses it first, or the data read may be incomplete.</translation>
    </message>
    <message>
        <source>注意：--code-page 只用于 Access 97 文件；这个文件的文本是 Unicode，不需要代码页。</source>
        <translation>Note: --code-page applies to Access 97 files only; the text of this file is Unicode and needs no code page.</translation>
    </message>
    <message>
        <source>，代码页 %1</source>
        <translation>, code page %1</translation>
    </message>
    <message>
        <source>读取 %1（%2）</source>
        <translation>Reading %1 (%2)</translation>
    </message>
    <message>
        <source>导入失败，%1 没有改动：%2</source>
        <translation>The import failed; %1 was not changed: %2</translation>
    </message>
    <message>
        <source>导入失败，没有建立 %1：%2</source>
        <translation>The import failed; %1 was not created: %2</translation>
    </message>
    <message>
        <source>已导入到：%1</source>
        <translation>Imported into: %1</translation>
    </message>
    <message>
        <source>（表 %1）</source>
        <translation> (table %1)</translation>
    </message>
    <message>
        <source>未记载的位置</source>
        <translation>a place not recorded</translation>
    </message>
    <message>
        <source>表 %1：链接表，数据在 %2，没有导入</source>
        <translation>Table %1: a linked table, its data is in %2; not imported</translation>
    </message>
    <message>
        <source>  请导入数据所在的 Access 文件本身（或在 Access 中把它转换为本地表后再导入）</source>
        <translation>  Import the Access file that holds the data itself (or make it a local table in Access first)</translation>
    </message>
    <message>
        <source>无法启动 Access 文件的读取程序 %1：%2</source>
        <translation>Cannot start the Access file reader %1: %2</translation>
    </message>
    <message>
        <source>读取程序交来的内容无法识别</source>
        <translation>the reader handed over something unrecognisable</translation>
    </message>
    <message>
        <source>读取程序异常终止</source>
        <translation>the reader ended abnormally</translation>
    </message>
    <message>
        <source>读取程序提前结束（退出码 %1）</source>
        <translation>the reader ended early (exit code %1)</translation>
    </message>
    <message>
        <source>读取程序 %1 秒没有进展，已被停止</source>
        <translation>the reader made no progress for %1 seconds and was stopped</translation>
    </message>
    <message>
        <source>正在读取目录</source>
        <translation>reading the catalogue</translation>
    </message>
    <message>
        <source>正在读取表 %1</source>
        <translation>reading table %1</translation>
    </message>
    <message>
        <source>该文件已损坏，或不是 Access 数据库：%1（%2：%3）</source>
        <translation>The file is damaged, or not an Access database: %1 (%2: %3)</translation>
    </message>
    <message>
        <source>读取时 libmdb 有 %1 条警告，例如：%2</source>
        <translation>libmdb gave %1 warnings while reading, for example: %2</translation>
    </message>
    <message>
        <source>该文件只有链接表，数据在上面列出的文件或数据源中；请导入那些文件本身。</source>
        <translation>The file holds linked tables only; the data is in the files or data sources listed above: import those files themselves.</translation>
    </message>
    <message>
        <source>表 %1 的定义已损坏：列名“%2”为空或重复</source>
        <translation>The definition of table %1 is damaged: the column name &quot;%2&quot; is empty or repeated</translation>
    </message>
</context>
<context>
    <name>Main::TFrmMain</name>
    <message>
        <source>一卡通软件 - %1</source>
        <translation>One-Card Suite - %1</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>打印(&amp;P)…</source>
        <translation>&amp;Print…</translation>
    </message>
    <message>
        <source>打印为 PDF(&amp;D)…</source>
        <translation>Print to PD&amp;F…</translation>
    </message>
    <message>
        <source>导出 CSV(&amp;E)…</source>
        <translation>&amp;Export CSV…</translation>
    </message>
    <message>
        <source>退出(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>查看(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>筛选(&amp;F)</source>
        <translation>&amp;Filter</translation>
    </message>
    <message>
        <source>刷新(&amp;R)</source>
        <translation>&amp;Refresh</translation>
    </message>
    <message>
        <source>操作员：%1    帐套：%2（%3 至 %4）</source>
        <translation>Operator: %1    Period: %2 (%3 to %4)</translation>
    </message>
    <message>
        <source>筛选(&amp;S)：</source>
        <translation>&amp;Search:</translation>
    </message>
    <message>
        <source>员工编号、姓名或班次（Ctrl+F）</source>
        <translation>Employee ID, name or shift (Ctrl+F)</translation>
    </message>
    <message>
        <source>每日人数（按班次）：</source>
        <translation>Staff per day (by shift):</translation>
    </message>
    <message>
        <source>已登录：%1</source>
        <translation>Signed in: %1</translation>
    </message>
    <message>
        <source>无法读取本帐套的排班表。
排除故障后按 F5 重新读取。</source>
        <translation>Cannot read the schedules of this period.
Fix the fault, then press F5 to read them again.</translation>
    </message>
    <message>
        <source>帐套“%1”（%2）还没有排班记录。
按 F5 重新读取。</source>
        <translation>The period &quot;%1&quot; (%2) has no schedules yet.
Press F5 to read again.</translation>
    </message>
    <message>
        <source>（空）</source>
        <translation>(empty)</translation>
    </message>
    <message>
        <source>员工编号</source>
        <translation>Employee ID</translation>
    </message>
    <message>
        <source>共 %1 格</source>
        <translation>Total %1</translation>
    </message>
    <message>
        <source>共 %1 人</source>
        <translation>%1 employees</translation>
    </message>
    <message>
        <source>筛选后 %1 人，共 %2 人</source>
        <translation>%1 of %2 employees shown</translation>
    </message>
    <message>
        <source>%1 排班表</source>
        <translation>Schedules %1</translation>
    </message>
    <message>
        <source>已打印 %1 页。</source>
        <translation>Printed %1 page(s).</translation>
    </message>
    <message>
        <source>打印为 PDF</source>
        <translation>Print to PDF</translation>
    </message>
    <message>
        <source>排班表-%1.pdf</source>
        <translation>Schedules-%1.pdf</translation>
    </message>
    <message>
        <source>PDF 文件 (*.pdf)</source>
        <translation>PDF files (*.pdf)</translation>
    </message>
    <message>
        <source>无法写入文件 %1：%2</source>
        <translation>Cannot write the file %1: %2</translation>
    </message>
    <message>
        <source>一卡通软件</source>
        <translation>One-Card Suite</translation>
    </message>
    <message>
        <source>无法保存文件 %1：%2</source>
        <translation>Cannot save the file %1: %2</translation>
    </message>
    <message>
        <source>已保存 %1（%2 页）。</source>
        <translation>Saved %1 (%2 page(s)).</translation>
    </message>
    <message>
        <source>导出 CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>排班表-%1.csv</source>
        <translation>Schedules-%1.csv</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
    <message>
        <source>已导出 %1 人的排班表到 %2。</source>
        <translation>Exported the schedules of %1 employees to %2.</translation>
    </message>
    <message>
        <source>导出 Excel(&amp;X)…</source>
        <translation>Export to E&amp;xcel…</translation>
    </message>
    <message>
        <source>导出 Excel</source>
        <translation>Export to Excel</translation>
    </message>
    <message>
        <source>排班表-%1.xlsx</source>
        <translation>Schedules-%1.xlsx</translation>
    </message>
    <message>
        <source>Excel 工作簿 (*.xlsx)</source>
        <translation>Excel workbooks (*.xlsx)</translation>
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
        <source>与数据库服务器的连接已中断，重新连接也没有成功，这次操作没有完成。
请检查数据库服务器和网络，然后再试一次；主服务器刚停止时，备用服务器接替它需要一点时间。</source>
        <translation>The connection to the database server was lost and connecting again did not succeed: the operation was not completed.
Check the database server and the network, then try again; when the primary server has just stopped, a standby needs a moment to take over.</translation>
    </message>
    <message>
        <source>警告：%1 中写有数据库密码，而其他用户也能读取这个文件。请执行 chmod 600 %1，或改用 libpq 的口令文件（~/.pgpass）保存密码。</source>
        <translation>Warning: %1 holds the database password and other users can read that file. Run chmod 600 %1, or keep the password in libpq&apos;s password file (~/.pgpass) instead.</translation>
    </message>
    <message>
        <source>密码中有空格时，请用单引号把密码括起来（password=&apos;...&apos;）</source>
        <translation>A password with spaces must be put in single quotes (password=&apos;...&apos;)</translation>
    </message>
    <message>
        <source>连接参数“%1”后面缺少“=”</source>
        <translation>The connection setting &quot;%1&quot; is not followed by &quot;=&quot;</translation>
    </message>
    <message>
        <source>连接参数“%1”的值缺少结尾的单引号</source>
        <translation>The value of the connection setting &quot;%1&quot; has no closing single quote</translation>
    </message>
    <message>
        <source>端口“%1”不正确：应当是一个端口号，或者为每台服务器各写一个端口号，按服务器的顺序用逗号隔开（例如 5432,5432）。</source>
        <translation>The port &quot;%1&quot; is not valid: give one port number, or one for each server, in the order of the servers, separated by commas (for example 5432,5432).</translation>
    </message>
    <message>
        <source>配置文件 %1 的 [Database] 中：%2</source>
        <translation>In section [Database] of the configuration file %1: %2</translation>
    </message>
    <message>
        <source>连接 URI 的写法不正确，应当是 postgres://用户@主机:端口,主机:端口/数据库?参数=值</source>
        <translation>The connection URI is not written correctly; it should read postgres://user@host:port,host:port/database?setting=value</translation>
    </message>
    <message>
        <source>列出的数据库服务器都只能读取（都是备用服务器），现在没有可以写入的主服务器：
%1

主服务器刚停止时，备用服务器接替它需要一点时间，请稍后再试。

%2</source>
        <translation>Every database server listed only reads (they are all standbys); none takes writes now:
%1

When the primary server has just stopped, a standby needs a moment to take over. Please try again shortly.

%2</translation>
    </message>
    <message>
        <source>找不到数据库文件：
%1

建立演示数据库，请执行：
    %2
建立空数据库（操作员 admin，密码 admin），请执行：
    %3

也可以在 Tavrel.ini 的 [Database] 中指定其他数据库。</source>
        <translation>The database file was not found:
%1

To create the demonstration database, run:
    %2
To create an empty database (operator admin, password admin), run:
    %3

Another database can also be named in the [Database] section of Tavrel.ini.</translation>
    </message>
    <message>
        <source>数据库路径不是文件：
%1</source>
        <translation>The database path is not a file:
%1</translation>
    </message>
    <message>
        <source>没有权限读取数据库文件：
%1

%2</source>
        <translation>No permission to read the database file:
%1

%2</translation>
    </message>
    <message>
        <source>数据库文件不是本系统使用的 SQLite 数据库（可能是旧版的 Access 数据库文件或已损坏）：
%1</source>
        <translation>The database file is not an SQLite database of this system (it may be an old Access database file, or damaged):
%1</translation>
    </message>
    <message>
        <source>没有权限写入数据库文件或其所在的目录：
%1

目录属于 kolvane 组时，请管理员把您加入该组，重新登录桌面后再试。</source>
        <translation>No permission to write the database file or its directory:
%1

If the directory belongs to the group kolvane, ask an administrator to add you to that group, sign in to the desktop again and retry.</translation>
    </message>
    <message>
        <source>无法打开数据库文件：
%1

%2</source>
        <translation>Cannot open the database file:
%1

%2</translation>
    </message>
    <message>
        <source>数据库文件正被其他程序锁定，请稍后再试：
%1</source>
        <translation>Another program has locked the database file. Please try again later:
%1</translation>
    </message>
    <message>
        <source>无法读取数据库文件：
%1

%2</source>
        <translation>Cannot read the database file:
%1

%2</translation>
    </message>
    <message>
        <source>数据库文件中没有一卡通系统的数据表（Users、Accounts）：
%1</source>
        <translation>The database file holds no tables of the suite (Users, Accounts):
%1</translation>
    </message>
    <message>
        <source>无法设置数据库文件：
%1

%2</source>
        <translation>Cannot set up the database file:
%1

%2</translation>
    </message>
    <message>
        <source>数据库服务器拒绝登录，用户名或密码不正确：
%1

%2</source>
        <translation>The database server refused the login: the user name or password is wrong:
%1

%2</translation>
    </message>
    <message>
        <source>数据库服务器要求密码，但 Tavrel.ini 的 [Database] 中没有 Password，口令文件（~/.pgpass 或 PGPASSFILE）中也没有这个用户的密码：
%1

%2</source>
        <translation>The database server asks for a password, but the [Database] section of Tavrel.ini has no Password and the password file (~/.pgpass or PGPASSFILE) has none for this user:
%1

%2</translation>
    </message>
    <message>
        <source>数据库服务器上没有这个数据库或用户：
%1

%2</source>
        <translation>The database server has no such database or user:
%1

%2</translation>
    </message>
    <message>
        <source>数据库服务器拒绝连接：
%1

%2</source>
        <translation>The database server refused the connection:
%1

%2</translation>
    </message>
    <message>
        <source>无法连接数据库服务器，请检查服务器是否已启动，以及服务器的地址和端口是否正确：
%1

%2</source>
        <translation>Cannot connect to the database server. Check that the server is running and that its address and port are right:
%1

%2</translation>
    </message>
    <message>
        <source>无法读取数据库：
%1

%2</source>
        <translation>Cannot read the database:
%1

%2</translation>
    </message>
    <message>
        <source>数据库中没有一卡通系统的数据表（Users、Accounts）：
%1

请用 kolvane-db 建立数据库。</source>
        <translation>The database holds no tables of the suite (Users, Accounts):
%1

Create the database with kolvane-db.</translation>
    </message>
    <message>
        <source>缺少数据库驱动 %1，请安装对应的 Qt 数据库驱动。</source>
        <translation>The database driver %1 is missing. Please install the Qt database driver for it.</translation>
    </message>
    <message>
        <source>数据库文件是 Windows 版一卡通系统的 Access 数据库，本程序不能直接打开它：
%1

文件没有被改动。请把它改名保存，再导入为本系统的数据库：
    mv &quot;%1&quot; &quot;%2&quot;
    %3</source>
        <translation>The database file is an Access database of the suite&apos;s Windows version, which this program cannot open directly:
%1

The file has not been changed. Rename it, then import it into a database of this system:
    mv &quot;%1&quot; &quot;%2&quot;
    %3</translation>
    </message>
    <message>
        <source>无法读取配置文件 %1，因此不知道该使用哪个数据库：%2

请系统管理员让您能读取这个文件（例如把您加入一卡通的用户组），然后再试。</source>
        <translation>Cannot read the configuration file %1, so the database to use is not known: %2

Ask the system administrator to let you read this file (for example by adding you to the suite&apos;s group), then try again.</translation>
    </message>
    <message>
        <source>无法连接数据库服务器 %1：没有与它建立经过验证的加密连接。服务器不提供加密连接，或者它的证书不能用本机所信任的证书颁发机构验证。

请把签发服务器证书的机构证书安装为 ~/.postgresql/root.crt，或者在 Tavrel.ini 的 [Database] 中用 sslrootcert= 指定它（相对路径在一卡通目录中）。只在可信的网络上，才可以在 [Database] 中写 sslmode=disable，不加密连接。

%2</source>
        <translation>Cannot connect to the database server %1: no verified encrypted connection could be made with it. The server offers no encrypted connections, or its certificate cannot be verified with a certificate authority this machine trusts.

Install the certificate of the authority that signed the server&apos;s certificate as ~/.postgresql/root.crt, or name it with sslrootcert= in [Database] of Tavrel.ini (a relative path is taken from the suite directory). Only on a network you trust may you write sslmode=disable in [Database] to connect without encryption.

%2</translation>
    </message>
</context>
<context>
    <name>Month</name>
    <message>
        <source>帐套月份“%1”不是有效的月份，无法读取排班表。</source>
        <translation>The period month &quot;%1&quot; is not a valid month; the schedules cannot be read.</translation>
    </message>
    <message>
        <source>无法读取排班表</source>
        <translation>Cannot read the schedules</translation>
    </message>
    <message>
        <source>排班表中的班次代码超过 65535 种，无法显示。</source>
        <translation>The schedules hold more than 65535 different shift codes and cannot be shown.</translation>
    </message>
    <message>
        <source>%1：轮班规则 %2，起始日 %3</source>
        <translation>%1: rotation %2, starting %3</translation>
    </message>
    <message>
        <source>%1：未设班次</source>
        <translation>%1: no shift set</translation>
    </message>
    <message>
        <source>%1：固定班次 %2</source>
        <translation>%1: fixed shift %2</translation>
    </message>
    <message>
        <source>员工编号</source>
        <translation>Employee ID</translation>
    </message>
    <message>
        <source>姓名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>无法写出排班表：%1</source>
        <translation>Cannot write the schedules: %1</translation>
    </message>
    <message>
        <source>班次或规则</source>
        <translation>Shift or rule</translation>
    </message>
    <message>
        <source>起始日期</source>
        <translation>Anchor date</translation>
    </message>
</context>
<context>
    <name>OperatorAdmin</name>
    <message>
        <source>操作员“%1”已经存在</source>
        <translation>The operator &quot;%1&quot; exists already</translation>
    </message>
    <message>
        <source>编号 %1 已经属于操作员“%2”</source>
        <translation>The ID %1 belongs to the operator &quot;%2&quot; already</translation>
    </message>
    <message>
        <source>操作员名称“%1”超过 %2 个字符</source>
        <translation>The operator name &quot;%1&quot; is longer than %2 characters</translation>
    </message>
    <message>
        <source>编号“%1”超过 %2 个字符</source>
        <translation>The ID &quot;%1&quot; is longer than %2 characters</translation>
    </message>
    <message>
        <source>两次输入的密码不一致</source>
        <translation>The two passwords differ</translation>
    </message>
    <message>
        <source>密码不能为空</source>
        <translation>The password must not be empty</translation>
    </message>
    <message>
        <source>已添加操作员“%1”（编号 %2），首次登录时须修改密码。</source>
        <translation>Operator &quot;%1&quot; added (ID %2); the password must be changed at the first sign-in.</translation>
    </message>
    <message>
        <source>警告：已没有能新建帐套的操作员。</source>
        <translation>Warning: no operator may create periods any more.</translation>
    </message>
    <message>
        <source>没有操作员“%1”</source>
        <translation>There is no operator &quot;%1&quot;</translation>
    </message>
    <message>
        <source>有 %1 个操作员都叫“%2”，无法确定要改哪一个</source>
        <translation>%1 operators are named &quot;%2&quot;; which one to change cannot be told</translation>
    </message>
    <message>
        <source>无法解除操作员“%1”的锁定：数据库拒绝删除 LoginFailures 中的记录</source>
        <translation>Cannot end the lock-out of the operator &quot;%1&quot;: the database refused to delete its row in LoginFailures</translation>
    </message>
    <message>
        <source>已解除操作员“%1”的锁定。</source>
        <translation>The lock-out of the operator &quot;%1&quot; has ended.</translation>
    </message>
    <message>
        <source>操作员“%1”没有被锁定；输错密码的次数已清零。</source>
        <translation>The operator &quot;%1&quot; was not locked out; the count of wrong passwords is cleared.</translation>
    </message>
    <message>
        <source>已为操作员“%1”设置新的首次登录密码，下次登录时须修改密码。</source>
        <translation>The operator &quot;%1&quot; has a new first password and must change it at the next sign-in.</translation>
    </message>
    <message>
        <source>已停用操作员“%1”。</source>
        <translation>The operator &quot;%1&quot; is stopped.</translation>
    </message>
    <message>
        <source>已启用操作员“%1”。</source>
        <translation>The operator &quot;%1&quot; is started again.</translation>
    </message>
    <message>
        <source>是</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>no</translation>
    </message>
    <message>
        <source>操作员名称不能为空</source>
        <translation>The operator name must not be empty</translation>
    </message>
    <message>
        <source>这是最后一个能新建帐套的操作员，改动后就没有人能新建帐套了。</source>
        <translation>This is the last operator who may create periods; after this change nobody could.</translation>
    </message>
    <message>
        <source>这是最后一个能管理操作员的操作员，改动后就没有人能管理操作员了。</source>
        <translation>This is the last operator who may manage operators; after this change nobody could.</translation>
    </message>
    <message>
        <source>警告：已没有能管理操作员的操作员。</source>
        <translation>Warning: no operator may manage operators any more.</translation>
    </message>
    <message>
        <source>无法开始事务</source>
        <translation>Cannot begin a transaction</translation>
    </message>
    <message>
        <source>无法保存</source>
        <translation>Cannot save</translation>
    </message>
    <message>
        <source>不能停用自己</source>
        <translation>You cannot stop yourself</translation>
    </message>
    <message>
        <source>操作员“%1”：新建帐套 %2，删除帐套 %3，管理操作员 %4，导入数据 %5。</source>
        <translation>Operator &quot;%1&quot;: create periods %2, delete periods %3, manage operators %4, import data %5.</translation>
    </message>
    <message>
        <source>操作员“%1”不能管理操作员</source>
        <translation>The operator &quot;%1&quot; may not manage operators</translation>
    </message>
</context>
<context>
    <name>PasswordHash</name>
    <message>
        <source>密码加密库无法初始化</source>
        <translation>The password hashing library cannot be initialised</translation>
    </message>
    <message>
        <source>内存不足，无法加密密码</source>
        <translation>Not enough memory to hash the password</translation>
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
    <name>Printout</name>
    <message>
        <source>无法开始打印。</source>
        <translation>Cannot start printing.</translation>
    </message>
    <message>
        <source>无法打印下一页。</source>
        <translation>Cannot print the next page.</translation>
    </message>
    <message>
        <source>打印日期：%1</source>
        <translation>Printed: %1</translation>
    </message>
    <message>
        <source>%1 %2 格</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>员工编号</source>
        <translation>Employee ID</translation>
    </message>
    <message>
        <source>姓名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>本帐套没有排班记录。</source>
        <translation>This period has no schedules.</translation>
    </message>
    <message>
        <source>每日人数</source>
        <translation>Staff per day</translation>
    </message>
    <message>
        <source>（空）</source>
        <translation>(empty)</translation>
    </message>
    <message>
        <source>共 %1 格</source>
        <translation>Total %1</translation>
    </message>
    <message>
        <source>第 %1 页，共 %2 页</source>
        <translation>Page %1 of %2</translation>
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
    <message>
        <source>新密码不能为空！</source>
        <translation>The new password cannot be empty!</translation>
    </message>
</context>
<context>
    <name>Rollover</name>
    <message>
        <source>轮班起始日期“%1”不是有效的日期</source>
        <translation>The rotation start date &quot;%1&quot; is not a valid date</translation>
    </message>
    <message>
        <source>帐套的开始日期和结束日期不能为空，无法按上月排班生成本月排班。</source>
        <translation>The period needs a first and a last day: this month&apos;s schedules cannot be generated from last month&apos;s.</translation>
    </message>
    <message>
        <source>离职日期“%1”不是有效的日期</source>
        <translation>The leave date &quot;%1&quot; is not a valid date</translation>
    </message>
    <message>
        <source>以下 %1 名员工的本月排班未能生成：</source>
        <translation>The schedules of these %1 employees could not be generated for this month:</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>……以及其他 %1 名员工</source>
        <translation>... and %1 more employees</translation>
    </message>
    <message>
        <source>其他员工的排班已经生成。请检查以上员工的排班和轮班规则，再为他们安排本月排班。</source>
        <translation>The other employees&apos; schedules have been generated. Check the schedules and rotation rules of the employees above, then plan their month.</translation>
    </message>
    <message>
        <source>已经保存的员工排班保留不变，新帐套没有保存。问题解决后请再次保存，系统会补全这个月的排班。</source>
        <translation>The schedules saved so far are kept; the new period was not saved. Once the problem is solved, save again: the rest of the month&apos;s schedules will be generated.</translation>
    </message>
</context>
<context>
    <name>Roster</name>
    <message>
        <source>一</source>
        <translation>Mo</translation>
    </message>
    <message>
        <source>二</source>
        <translation>Tu</translation>
    </message>
    <message>
        <source>三</source>
        <translation>We</translation>
    </message>
    <message>
        <source>四</source>
        <translation>Th</translation>
    </message>
    <message>
        <source>五</source>
        <translation>Fr</translation>
    </message>
    <message>
        <source>六</source>
        <translation>Sa</translation>
    </message>
    <message>
        <source>日</source>
        <translation>Su</translation>
    </message>
    <message>
        <source>%1 排班表</source>
        <translation>Roster %1</translation>
    </message>
    <message>
        <source>员工编号</source>
        <translation>Employee ID</translation>
    </message>
    <message>
        <source>姓名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>班次</source>
        <translation>Shift</translation>
    </message>
    <message>
        <source>本月合计</source>
        <translation>Month total</translation>
    </message>
    <message>
        <source>未排班</source>
        <translation>Not scheduled</translation>
    </message>
</context>
<context>
    <name>Roster::CoverageModel</name>
    <message>
        <source>（空）</source>
        <translation>(empty)</translation>
    </message>
    <message>
        <source>共 %1 格</source>
        <translation>Total %1</translation>
    </message>
    <message>
        <source>%1 %2：%3 人</source>
        <translation>%1 %2: %3 staff</translation>
    </message>
    <message>
        <source>无班次</source>
        <translation>no shift</translation>
    </message>
    <message>
        <source>班次</source>
        <translation>Shift</translation>
    </message>
    <message>
        <source>本月合计</source>
        <translation>Month total</translation>
    </message>
</context>
<context>
    <name>Roster::Model</name>
    <message>
        <source>（今天）</source>
        <translation> (today)</translation>
    </message>
    <message>
        <source>员工编号</source>
        <translation>Employee ID</translation>
    </message>
    <message>
        <source>姓名</source>
        <translation>Name</translation>
    </message>
</context>
<context>
    <name>Setup</name>
    <message>
        <source>员工编号</source>
        <translation>Employee ID</translation>
    </message>
    <message>
        <source>姓名</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>离职日期</source>
        <translation>Leave date</translation>
    </message>
    <message>
        <source>规则编号</source>
        <translation>Rule ID</translation>
    </message>
    <message>
        <source>规则名称</source>
        <translation>Rule name</translation>
    </message>
    <message>
        <source>周期</source>
        <translation>Cycle</translation>
    </message>
    <message>
        <source>周期单位</source>
        <translation>Cycle unit</translation>
    </message>
    <message>
        <source>班次或规则</source>
        <translation>Shift or rule</translation>
    </message>
    <message>
        <source>起始日期</source>
        <translation>Anchor date</translation>
    </message>
    <message>
        <source>第 %1 行“%2”列：%3</source>
        <translation>row %1, column &quot;%2&quot;: %3</translation>
    </message>
    <message>
        <source>第 %1 行：%2</source>
        <translation>row %1: %2</translation>
    </message>
    <message>
        <source>%1 排班</source>
        <translation>%1 schedule</translation>
    </message>
    <message>
        <source>有 %1 格，第一行有 %2 格</source>
        <translation>has %1 cells, the first line %2</translation>
    </message>
    <message>
        <source>含有控制字符</source>
        <translation>holds a control character</translation>
    </message>
    <message>
        <source>位置超过 %1</source>
        <translation>slot number beyond %1</translation>
    </message>
    <message>
        <source>规则 %1 有第 %2 个位置的班次，超过 %3，无法导出</source>
        <translation>Rule %1 has a shift in slot %2, beyond %3: it cannot be exported</translation>
    </message>
    <message>
        <source>文件 %1 有错误，数据库没有改动：</source>
        <translation>The file %1 has errors; the database was not changed:</translation>
    </message>
    <message>
        <source>……另有 %1 处错误没有列出</source>
        <translation>... and %1 more errors not listed</translation>
    </message>
    <message>
        <source>没有读取这些列：%1</source>
        <translation>These columns were not read: %1</translation>
    </message>
    <message>
        <source>文件 %1 是空的：第一行应为列名</source>
        <translation>The file %1 is empty: its first line must name the columns</translation>
    </message>
    <message>
        <source>把员工、班次规则或一个月的排班表写成 CSV 文件或 Excel 工作簿</source>
        <translation>Writes the employees, the shift rules or a month&apos;s schedules as a CSV file or an Excel workbook</translation>
    </message>
    <message>
        <source>用法：
  kolvane-db export employees|rules [输出文件 | --xlsx 工作簿] [--db 文件 | --server 连接参数]
  kolvane-db export schedule 月份 [输出文件 | --xlsx 工作簿] [--db 文件 | --server 连接参数]
把员工、班次规则或该月（yyyy-mm）的排班表写成 CSV 文件（UTF-8，第一行为列名），不写输出文件时
写到标准输出；用 --xlsx 时写成 Excel 工作簿。不写 --db 和 --server 时，用一卡通目录中
Tavrel.ini 所指的数据库。

退出码：0 成功；2 用法错误；4 失败（如没有该月的帐套）；5 无法打开数据库。
</source>
        <translation>Usage:
  kolvane-db export employees|rules [OUT | --xlsx WORKBOOK] [--db FILE | --server CONNECTION]
  kolvane-db export schedule MONTH [OUT | --xlsx WORKBOOK] [--db FILE | --server CONNECTION]
Writes the employees, the shift rules or the schedules of a month (yyyy-mm) as a CSV file (UTF-8, the first
line names the columns), to standard output without OUT; with --xlsx as an Excel workbook. Without --db and
--server, the database that Tavrel.ini in the suite directory names.

Exit codes: 0 done; 2 wrong arguments; 4 failed (for example, no period for the month); 5 the database cannot
be opened.
</translation>
    </message>
    <message>
        <source>员工</source>
        <translation>Employees</translation>
    </message>
    <message>
        <source>班次规则</source>
        <translation>Shift rules</translation>
    </message>
    <message>
        <source>没有 %1 的帐套</source>
        <translation>There is no period for %1</translation>
    </message>
    <message>
        <source>文件 %1 的第一行没有“%2”列</source>
        <translation>The first line of the file %1 has no column &quot;%2&quot;</translation>
    </message>
    <message>
        <source>“%1”超过 %2 个字符</source>
        <translation>&quot;%1&quot; is longer than %2 characters</translation>
    </message>
    <message>
        <source>试运行：将新增 %1 行，修改 %2 行，%3 行不变；数据库没有改动。</source>
        <translation>Dry run: %1 rows would be added, %2 changed, %3 stay as they are; the database was not changed.</translation>
    </message>
    <message>
        <source>已新增 %1 行，修改 %2 行，%3 行不变。</source>
        <translation>%1 rows added, %2 changed, %3 unchanged.</translation>
    </message>
    <message>
        <source>编号为空</source>
        <translation>the ID is empty</translation>
    </message>
    <message>
        <source>编号 %1 重复（第 %2 行已有）</source>
        <translation>the ID %1 is there twice (already in row %2)</translation>
    </message>
    <message>
        <source>是</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>no</translation>
    </message>
    <message>
        <source>标准输入中没有密码</source>
        <translation>No password on standard input</translation>
    </message>
    <message>
        <source>首次登录密码：</source>
        <translation>First password: </translation>
    </message>
    <message>
        <source>再输入一次：</source>
        <translation>Once more: </translation>
    </message>
    <message>
        <source>没有输入密码</source>
        <translation>No password was typed</translation>
    </message>
    <message>
        <source>user %1 需要一个操作员名称</source>
        <translation>user %1 needs one operator name</translation>
    </message>
    <message>
        <source>操作员名称不能为空</source>
        <translation>The operator name must not be empty</translation>
    </message>
    <message>
        <source>%1 不认识选项 %2</source>
        <translation>%1 does not know the option %2</translation>
    </message>
    <message>
        <source>操作员</source>
        <translation>Operator</translation>
    </message>
    <message>
        <source>编号</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>停用</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>须改密码</source>
        <translation>Must change password</translation>
    </message>
    <message>
        <source>新建帐套</source>
        <translation>Create periods</translation>
    </message>
    <message>
        <source>删除帐套</source>
        <translation>Delete periods</translation>
    </message>
    <message>
        <source>锁定至</source>
        <translation>Locked until</translation>
    </message>
    <message>
        <source>“%1”不是日期</source>
        <translation>&quot;%1&quot; is not a date</translation>
    </message>
    <message>
        <source>新增 %1 %2</source>
        <translation>new: %1 %2</translation>
    </message>
    <message>
        <source>修改 %1：姓名 %2 → %3，离职日期 %4 → %5</source>
        <translation>changed: %1: name %2 → %3, leave date %4 → %5</translation>
    </message>
    <message>
        <source>周期“%1”不是 1 到 10000 之间的整数</source>
        <translation>the cycle &quot;%1&quot; is not a whole number from 1 to 10000</translation>
    </message>
    <message>
        <source>单位“%1”不是 day、week 或 month</source>
        <translation>the unit &quot;%1&quot; is not day, week or month</translation>
    </message>
    <message>
        <source>周期只有 %1 个位置，第 %2 个位置用不到</source>
        <translation>the cycle has only %1 slots; slot %2 is never used</translation>
    </message>
    <message>
        <source>新增规则 %1 %2：%3 %4，%5 个班次</source>
        <translation>new rule %1 %2: %3 %4, %5 shifts</translation>
    </message>
    <message>
        <source>修改规则 %1：%2 %3 → %4 %5%6</source>
        <translation>changed rule %1: %2 %3 → %4 %5%6</translation>
    </message>
    <message>
        <source>，班次有改动</source>
        <translation>, shifts changed</translation>
    </message>
    <message>
        <source>没有 %1 的帐套：请先建立帐套，再导入它的排班</source>
        <translation>There is no period for %1: create the period first, then import its schedules</translation>
    </message>
    <message>
        <source>不是 %1 的日期</source>
        <translation>is not a day of %1</translation>
    </message>
    <message>
        <source>第 %1 天已有一列</source>
        <translation>day %1 has a column already</translation>
    </message>
    <message>
        <source>有起始日期的轮班须写规则编号</source>
        <translation>a rotation with an anchor date needs a rule ID</translation>
    </message>
    <message>
        <source>没有规则 %1</source>
        <translation>there is no rule %1</translation>
    </message>
    <message>
        <source>%1 没有第 %2 天</source>
        <translation>%1 has no day %2</translation>
    </message>
    <message>
        <source>轮班规则 %1，起始日期 %2</source>
        <translation>rotation %1 from %2</translation>
    </message>
    <message>
        <source>未设班次</source>
        <translation>no shift</translation>
    </message>
    <message>
        <source>固定班次 %1</source>
        <translation>fixed shift %1</translation>
    </message>
    <message>
        <source>没有员工 %1：请先导入员工</source>
        <translation>there is no employee %1: import the employees first</translation>
    </message>
    <message>
        <source>新增 %1：%2，%3 天</source>
        <translation>new: %1: %2, %3 days</translation>
    </message>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>修改 %1：%2%3 天有改动</source>
        <translation>changed: %1: %2%3 days changed</translation>
    </message>
    <message>
        <source>员工 %1：%2</source>
        <translation>employee %1: %2</translation>
    </message>
    <message>
        <source>数据库拒绝保存 %1 行（其余各行已保存）：
  %2</source>
        <translation>The database refused %1 rows (the other rows were stored):
  %2</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>以下操作员的密码仍以明文保存：%1。</source>
        <translation>These operators&apos; passwords are still stored as plain text: %1.</translation>
    </message>
    <message>
        <source>Users 表的 password 列宽 %1 个字符，保存加密的密码需要至少 %2 个字符；加宽该列后，操作员下次登录时密码即被加密保存。</source>
        <translation>The password column of table Users is %1 characters wide; a hashed password needs at least %2. Once the column is widened, each of these operators&apos; passwords is stored hashed at their next sign-in.</translation>
    </message>
    <message>
        <source>这些操作员下次登录成功时，密码即被加密保存。</source>
        <translation>Each of these operators&apos; passwords is stored hashed at their next successful sign-in.</translation>
    </message>
    <message>
        <source>%1确要如此，请加 --force。</source>
        <translation>%1 Add --force if that is what you want.</translation>
    </message>
    <message>
        <source>操作员：列出、添加、停用、启用、新密码、权限、解除锁定</source>
        <translation>Operators: list, add, stop, start, new password, rights, unlock</translation>
    </message>
    <message>
        <source>用法：
  kolvane-db user list                          列出操作员：编号、停用、须改密码、帐套权限、锁定至
  kolvane-db user add 名称 [--id 编号] [--create-periods] [--delete-periods]
                      [--manage-operators] [--import-data]
                                                新操作员，首次登录时须修改密码
  kolvane-db user stop 名称 [--force]           停用操作员
  kolvane-db user start 名称                    启用操作员
  kolvane-db user reset 名称                    新的首次登录密码，下次登录时须修改
  kolvane-db user rights 名称 [--create-periods] [--delete-periods]
                      [--manage-operators] [--import-data] [--force]
                                                新建、删除帐套，管理操作员，导入数据的权限
                                                （未写的权限被取消）
  kolvane-db user unlock 名称                   解除输错密码后的锁定
每个命令都可以加 --db 文件 或 --server 连接参数；都不写时，用一卡通目录中 Tavrel.ini 所指的数据库。
首次登录密码在终端上输入两次，不回显；不是终端时从标准输入读一行。
停用操作员或改动权限后若没有人能新建帐套或管理操作员，须加 --force。
每次改动都记入操作日志（OpLog），操作者记为“kolvane-db:”加本机用户名。

退出码：0 成功；2 用法错误；4 被拒绝或失败；5 无法打开数据库。
</source>
        <translation>Usage:
  kolvane-db user list                          the operators: id, stopped, must change the password,
                                                period rights, locked until
  kolvane-db user add NAME [--id ID] [--create-periods] [--delete-periods]
                      [--manage-operators] [--import-data]
                                                a new operator, who must change the password at the first sign-in
  kolvane-db user stop NAME [--force]           stops an operator
  kolvane-db user start NAME                    starts an operator again
  kolvane-db user reset NAME                    a new first password, to be changed at the next sign-in
  kolvane-db user rights NAME [--create-periods] [--delete-periods]
                      [--manage-operators] [--import-data] [--force]
                                                the rights to create and delete periods, manage operators
                                                and import data (those not given are taken away)
  kolvane-db user unlock NAME                   ends a lock-out after wrong passwords
Each takes --db FILE or --server CONNECTION; without either, the database that Tavrel.ini in the suite
directory names.
The first password is typed twice at a terminal, without echo, and read as one line from standard input
otherwise. Leaving nobody who may create periods or manage operators, by stopping an operator or changing
rights, needs --force.
Every change goes into the operation log (OpLog) under &quot;kolvane-db:&quot; and the local user name.

Exit codes: 0 done; 2 wrong arguments; 4 refused or failed; 5 the database cannot be opened.
</translation>
    </message>
    <message>
        <source>无法保存第 %1 行</source>
        <translation>Cannot save line %1</translation>
    </message>
    <message>
        <source>无法保存</source>
        <translation>Cannot save</translation>
    </message>
    <message>
        <source>无法保存修改的行</source>
        <translation>Cannot save the changed rows</translation>
    </message>
</context>
<context>
    <name>Setup::SheetExportDialog</name>
    <message>
        <source>导出%1</source>
        <translation>Export %1</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv);;Excel 工作簿 (*.xlsx)</source>
        <translation>CSV files (*.csv);;Excel workbooks (*.xlsx)</translation>
    </message>
    <message>
        <source>已导出 %1 行到 %2。</source>
        <translation>Exported %1 rows to %2.</translation>
    </message>
    <message>
        <source>没有导出：%1</source>
        <translation>Nothing exported: %1</translation>
    </message>
</context>
<context>
    <name>Setup::SheetImportDialog</name>
    <message>
        <source>行</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>编号</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>内容</source>
        <translation>What changes</translation>
    </message>
    <message>
        <source>列</source>
        <translation>Column</translation>
    </message>
    <message>
        <source>原因</source>
        <translation>Reason</translation>
    </message>
    <message>
        <source>导入%1</source>
        <translation>Import %1</translation>
    </message>
    <message>
        <source>各行(&amp;R)：</source>
        <translation>&amp;Rows:</translation>
    </message>
    <message>
        <source>错误(&amp;E)：</source>
        <translation>&amp;Errors:</translation>
    </message>
    <message>
        <source>导入(&amp;I)</source>
        <translation>&amp;Import</translation>
    </message>
    <message>
        <source>关闭(&amp;C)</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>正在检查 %1……</source>
        <translation>Checking %1…</translation>
    </message>
    <message>
        <source>新增</source>
        <translation>added</translation>
    </message>
    <message>
        <source>修改</source>
        <translation>changed</translation>
    </message>
    <message>
        <source>不变</source>
        <translation>unchanged</translation>
    </message>
    <message>
        <source>文件 %1：将新增 %2 行，修改 %3 行，%4 行不变。按“导入”写入数据库。</source>
        <translation>File %1: %2 rows would be added, %3 changed, %4 left as they are. Press &quot;Import&quot; to write them to the database.</translation>
    </message>
    <message>
        <source>文件 %1 有 %2 处错误，不能导入：请改正后再选择文件。数据库没有改动。</source>
        <translation>File %1 has %2 errors and cannot be imported: correct them, then choose the file again. The database is unchanged.</translation>
    </message>
    <message>
        <source>没有读取这些列：%1</source>
        <translation>These columns were not read: %1</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>没有导入：%1</source>
        <translation>Nothing imported: %1</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv *.txt);;所有文件 (*)</source>
        <translation>CSV files (*.csv *.txt);;All files (*)</translation>
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
        <source>登录没有完成，请再试一次。</source>
        <translation>You are not signed in. Please try again.</translation>
    </message>
    <message>
        <source>数据库服务器 %1 只允许读取（它是备用服务器），登录记录无法保存在那里。
列出主服务器和备用服务器时，Tavrel.ini 的 [Database] 中应有 target_session_attrs=read-write。</source>
        <translation>The database server %1 only reads (it is a standby): the sign-in cannot be recorded there.
When [Database] in Tavrel.ini lists a primary and its standbys, it should have target_session_attrs=read-write.</translation>
    </message>
    <message>
        <source>没有数据库连接</source>
        <translation>There is no database connection</translation>
    </message>
</context>
<context>
    <name>TFrmOperatorEdit</name>
    <message>
        <source>新增操作员</source>
        <translation>New Operator</translation>
    </message>
    <message>
        <source>重设密码 - %1</source>
        <translation>Reset Password - %1</translation>
    </message>
    <message>
        <source>权限 - %1</source>
        <translation>Rights - %1</translation>
    </message>
    <message>
        <source>名称(&amp;N)：</source>
        <translation>&amp;Name:</translation>
    </message>
    <message>
        <source>编号(&amp;I)：</source>
        <translation>&amp;ID:</translation>
    </message>
    <message>
        <source>不填时自动编号</source>
        <translation>the next number when left empty</translation>
    </message>
    <message>
        <source>密码(&amp;P)：</source>
        <translation>&amp;Password:</translation>
    </message>
    <message>
        <source>再输入一次(&amp;A)：</source>
        <translation>&amp;Again:</translation>
    </message>
    <message>
        <source>新建帐套(&amp;C)</source>
        <translation>&amp;Create periods</translation>
    </message>
    <message>
        <source>删除帐套(&amp;D)</source>
        <translation>&amp;Delete periods</translation>
    </message>
    <message>
        <source>管理操作员(&amp;M)</source>
        <translation>&amp;Manage operators</translation>
    </message>
    <message>
        <source>导入数据(&amp;E)</source>
        <translation>Import da&amp;ta</translation>
    </message>
    <message>
        <source>权限：</source>
        <translation>Rights:</translation>
    </message>
    <message>
        <source>下次登录时须修改密码。</source>
        <translation>The password must be changed at the next sign-in.</translation>
    </message>
    <message>
        <source>确定(&amp;O)</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>取消(&amp;X)</source>
        <translation>Cance&amp;l</translation>
    </message>
</context>
<context>
    <name>TFrmOperators</name>
    <message>
        <source>停用(&amp;T)</source>
        <translation>S&amp;top</translation>
    </message>
    <message>
        <source>启用(&amp;T)</source>
        <translation>S&amp;tart</translation>
    </message>
    <message>
        <source>操作员</source>
        <translation>Operators</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>编号</source>
        <translation>ID</translation>
    </message>
    <message>
        <source>停用</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>须改密码</source>
        <translation>Must change password</translation>
    </message>
    <message>
        <source>新建帐套</source>
        <translation>Create periods</translation>
    </message>
    <message>
        <source>删除帐套</source>
        <translation>Delete periods</translation>
    </message>
    <message>
        <source>管理操作员</source>
        <translation>Manage operators</translation>
    </message>
    <message>
        <source>导入数据</source>
        <translation>Import data</translation>
    </message>
    <message>
        <source>锁定至</source>
        <translation>Locked until</translation>
    </message>
    <message>
        <source>新增(&amp;N)…</source>
        <translation>&amp;New…</translation>
    </message>
    <message>
        <source>重设密码(&amp;P)…</source>
        <translation>Reset &amp;Password…</translation>
    </message>
    <message>
        <source>权限(&amp;R)…</source>
        <translation>&amp;Rights…</translation>
    </message>
    <message>
        <source>解锁(&amp;L)</source>
        <translation>Un&amp;lock</translation>
    </message>
    <message>
        <source>关闭(&amp;C)</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>是</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>no</translation>
    </message>
</context>
<context>
    <name>Throttle</name>
    <message>
        <source>无法读写输错密码的记录，为安全起见，现在不能登录或修改密码。
请系统管理员检查数据库（表 LoginFailures 及其权限）。

%1</source>
        <translation>Cannot read or write the record of wrong passwords; for safety, nobody can sign in or change a password now.
Ask the system administrator to check the database (table LoginFailures and its permissions).

%1</translation>
    </message>
</context>
<context>
    <name>Tool</name>
    <message>
        <source>已删除上次中断时留下的临时文件：%1</source>
        <translation>Removed a temporary file left by an interrupted run: %1</translation>
    </message>
    <message>
        <source>未知选项 %1</source>
        <translation>Unknown option %1</translation>
    </message>
    <message>
        <source>%1 后面缺少参数</source>
        <translation>%1 needs a value</translation>
    </message>
    <message>
        <source>月份不正确：%1（应为 yyyy-mm）</source>
        <translation>The month is not right: %1 (it should be yyyy-mm)</translation>
    </message>
    <message>
        <source>建立演示数据库</source>
        <translation>Creates a demonstration database</translation>
    </message>
    <message>
        <source>建立空的一卡通数据库</source>
        <translation>Creates an empty suite database</translation>
    </message>
    <message>
        <source>已建立演示数据库：%1</source>
        <translation>Demonstration database created: %1</translation>
    </message>
    <message>
        <source>已建立空数据库：%1</source>
        <translation>Empty database created: %1</translation>
    </message>
    <message>
        <source>用法：
  kolvane-db %1 [文件 | --db 文件]
  kolvane-db %1 --server 连接参数
</source>
        <translation>Usage:
  kolvane-db %1 [FILE | --db FILE]
  kolvane-db %1 --server CONNECTION
</translation>
    </message>
    <message>
        <source>建立演示数据库：操作员、上月与本月帐套、员工、班次规则、上月排班。
</source>
        <translation>Creates a demonstration database: operators, last month&apos;s and this month&apos;s periods, employees, shift rules,
last month&apos;s schedules.
</translation>
    </message>
    <message>
        <source>建立空的一卡通数据库：操作员 admin，密码 admin，首次登录时须修改密码。
</source>
        <translation>Creates an empty suite database: operator admin, password admin, to be changed at the first sign-in.
</translation>
    </message>
    <message>
        <source>不写文件时，在一卡通目录中建立 Kolvane.mdb。已存在的文件不会被覆盖。
用 --server 时，在 PostgreSQL 服务器上已有的数据库中建立一卡通数据表。该数据库须事先建立，
字符集为 UTF8，例如：createdb -E UTF8 -T template0 -O kolvane kolvane；
已有一卡通数据表的数据库不会被改动。建立过程出错时不留下任何东西。

退出码：0 成功；2 用法错误；3 文件或数据表已存在、数据库字符集不是 UTF8；4 建立失败；
5 无法连接服务器。
</source>
        <translation>Without a file, creates Kolvane.mdb in the suite directory. An existing file is never overwritten.
With --server, creates the suite&apos;s tables in an existing database on a PostgreSQL server. The database must
exist and use the UTF8 encoding, for example: createdb -E UTF8 -T template0 -O kolvane kolvane;
a database that has the suite&apos;s tables already is left as it is. A failure leaves nothing behind.

Exit codes: 0 done; 2 wrong arguments; 3 the file or the tables exist, or the database is not UTF8;
4 the database could not be created; 5 no connection to the server.
</translation>
    </message>
    <message>
        <source>无法在 %1 建立数据库：%2</source>
        <translation>Cannot create the database on %1: %2</translation>
    </message>
    <message>
        <source>无法建立数据库 %1：%2</source>
        <translation>Cannot create the database %1: %2</translation>
    </message>
    <message>
        <source>数据库 %1 的字符集是 %2，一卡通系统需要 UTF8。请这样建立数据库：
  createdb -E UTF8 -T template0 数据库名</source>
        <translation>The database %1 uses the encoding %2; the suite needs UTF8. Create the database like this:
  createdb -E UTF8 -T template0 DATABASE</translation>
    </message>
    <message>
        <source>数据库 %1 中已经有一卡通系统的数据表（%2），不会改动。</source>
        <translation>The database %1 already holds tables of the suite (%2) and is left as it is.</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>只能用 --server 或 --db 指定一个数据库</source>
        <translation>Name one database only, with --server or --db</translation>
    </message>
    <message>
        <source>数据库文件名不能为空</source>
        <translation>The database file name is empty</translation>
    </message>
    <message>
        <source>连接参数不正确：%1</source>
        <translation>Invalid connection settings: %1</translation>
    </message>
    <message>
        <source>无法开始事务</source>
        <translation>Cannot begin a transaction</translation>
    </message>
    <message>
        <source>无法提交</source>
        <translation>Cannot commit</translation>
    </message>
    <message>
        <source>文件已存在，不会覆盖：%1</source>
        <translation>The file exists and is not overwritten: %1</translation>
    </message>
    <message>
        <source>目录不存在：%1</source>
        <translation>The directory does not exist: %1</translation>
    </message>
    <message>
        <source>没有权限在目录 %1 中建立文件。该目录属于 kolvane 组时，请管理员把您加入该组（adduser 用户名 kolvane），重新登录后再试。</source>
        <translation>No permission to create a file in the directory %1. When the directory belongs to group kolvane, ask the administrator to add you to the group (adduser USER kolvane), then sign in again and retry.</translation>
    </message>
    <message>
        <source>无法在目录 %1 中建立临时文件：%2</source>
        <translation>Cannot create a temporary file in the directory %1: %2</translation>
    </message>
    <message>
        <source>无法把 %1 写到磁盘</source>
        <translation>Cannot write %1 to the disk</translation>
    </message>
    <message>
        <source>无法把 %1 改名为 %2（该文件已存在或目录不可写）</source>
        <translation>Cannot rename %1 to %2 (the file exists, or the directory is not writable)</translation>
    </message>
    <message>
        <source>缺少 PostgreSQL 数据库驱动（Qt 的 QPSQL，Debian 软件包 libqt6sql6-psql）</source>
        <translation>Qt&apos;s PostgreSQL driver (QPSQL, Debian package libqt6sql6-psql) is missing</translation>
    </message>
    <message>
        <source>显示命令的用法</source>
        <translation>Shows how to use the commands</translation>
    </message>
    <message>
        <source>用法：
  kolvane-db help              列出命令和退出码
  kolvane-db help 命令         显示该命令的用法（与“kolvane-db 命令 --help”相同）
</source>
        <translation>Usage:
  kolvane-db help              lists the commands and the exit codes
  kolvane-db help COMMAND      shows how to use the command (as &quot;kolvane-db COMMAND --help&quot; does)
</translation>
    </message>
    <message>
        <source>没有命令 %1</source>
        <translation>There is no command %1</translation>
    </message>
    <message>
        <source>把一个月的排班表写成 CSV 或 Excel 工作簿</source>
        <translation>Writes a month&apos;s roster as CSV or as an Excel workbook</translation>
    </message>
    <message>
        <source>用法：
  kolvane-db roster [--xlsx 工作簿] 文件 月份
  kolvane-db roster [--xlsx 工作簿] --db 文件 月份
  kolvane-db roster [--xlsx 工作簿] --server 连接参数 月份
把该月（yyyy-mm）帐套的排班表以 CSV 写到标准输出，与主窗口导出的相同；用 --xlsx 时写成
Excel 工作簿（班次颜色、星期、图例和每日人数）。

退出码：0 成功；2 用法错误；4 没有该月的帐套或读取失败；5 无法打开数据库。
</source>
        <translation>Usage:
  kolvane-db roster [--xlsx WORKBOOK] FILE MONTH
  kolvane-db roster [--xlsx WORKBOOK] --db FILE MONTH
  kolvane-db roster [--xlsx WORKBOOK] --server CONNECTION MONTH
Writes the roster of the month&apos;s (yyyy-mm) period as CSV to standard output, as the main window exports it;
with --xlsx as an Excel workbook (shift colours, weekdays, legend and daily counts).

Exit codes: 0 done; 2 wrong arguments; 4 no period for the month, or the read failed; 5 the database cannot
be opened.
</translation>
    </message>
    <message>
        <source>没有 %1 的帐套</source>
        <translation>There is no period for %1</translation>
    </message>
    <message>
        <source>无法写标准输出</source>
        <translation>Cannot write to standard output</translation>
    </message>
    <message>
        <source>无法读出 %1 的排班表：%2</source>
        <translation>Cannot read the schedules of %1: %2</translation>
    </message>
    <message>
        <source>--server 的连接参数中不能写密码（password=…）：命令行会被本机的其他用户看到。请把密码写入 libpq 的口令文件 ~/.pgpass（权限 600），或设置环境变量 PGPASSWORD。</source>
        <translation>A password may not be written in the connection text of --server (password=...): the command line can be seen by the other users of this machine. Put the password in libpq&apos;s password file ~/.pgpass (mode 600), or set the environment variable PGPASSWORD.</translation>
    </message>
    <message>
        <source>用法：kolvane-db 命令 [参数……]

命令：
%1
“kolvane-db help 命令”或“kolvane-db 命令 --help”显示该命令的用法。

数据库：用 --db 文件（SQLite）或 --server 连接参数（PostgreSQL）指定。user、export 及导入员工、
班次规则、排班表时，都不写则用一卡通目录中 Tavrel.ini 所指的数据库（默认为其中的 Kolvane.mdb）。
连接参数的写法与 libpq 相同，例如：
  &quot;host=127.0.0.1 port=5432 dbname=kolvane user=kolvane&quot;
未写的参数取 libpq 的默认值和环境变量（PGHOST、PGPORT……）。密码不能写在连接参数中：
请用口令文件 ~/.pgpass 或环境变量 PGPASSWORD。
一卡通目录：环境变量 KOLVANE_HOME 所指的目录，未设置时为安装时确定的目录
（软件包：/var/lib/kolvane）或本程序所在的目录。

退出码：
  0  成功
  2  用法错误
  3  文件或一卡通数据表已存在，或服务器上的数据库字符集不是 UTF8
  4  失败或被拒绝（如没有该月的帐套），原因见错误信息
  5  无法打开数据库或 Access 文件，或无法连接服务器
  6  导入文件无法读取或有错误的行，数据库没有改动
</source>
        <translation>Usage: kolvane-db COMMAND [ARGUMENTS...]

Commands:
%1
&quot;kolvane-db help COMMAND&quot; or &quot;kolvane-db COMMAND --help&quot; shows how to use a command.

Database: named by --db FILE (SQLite) or --server CONNECTION (PostgreSQL). Without either, user, export and
the imports of employees, shift rules and schedules use the database that Tavrel.ini in the suite directory
names (by default its Kolvane.mdb).
CONNECTION is written as for libpq, for example:
  &quot;host=127.0.0.1 port=5432 dbname=kolvane user=kolvane&quot;
Settings left out take libpq&apos;s defaults and environment variables (PGHOST, PGPORT, ...). A password may not
be written in CONNECTION: use the password file ~/.pgpass or the environment variable PGPASSWORD.
The suite directory: the one the environment variable KOLVANE_HOME names; without it, the directory fixed at
installation (the package&apos;s: /var/lib/kolvane) or the directory of this program.

Exit codes:
  0  done
  2  wrong arguments
  3  the file or the suite&apos;s tables exist already, or the server&apos;s database is not UTF8
  4  failed or refused (for example, no period for the month); the message says why
  5  the database or the Access file cannot be opened, or the server cannot be reached
  6  an input file that cannot be read or has bad rows; the database is unchanged
</translation>
    </message>
</context>
<context>
    <name>Workbook</name>
    <message>
        <source>无法建立文件 %1</source>
        <translation>Cannot create the file %1</translation>
    </message>
    <message>
        <source>无法建立工作表 %1</source>
        <translation>Cannot create the sheet %1</translation>
    </message>
    <message>
        <source>无法写文件 %1：%2</source>
        <translation>Cannot write the file %1: %2</translation>
    </message>
</context>
</TS>
