#include "shell/AccessImport.h"

#include "host/AccessFile.h"
#include "host/Connection.h"
#include "host/Prjconst.h"
#include "import/NewDatabase.h"
#include "import/SandboxedSource.h"
#include "platform/System.h"
#include "platform/ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

namespace Startup {

namespace {

bool askByMessageBox(const QString& text)
{
    QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(), text);
    QPushButton* import = box.addButton(QCoreApplication::translate("AccessImport", "导入此 Access 数据库…"),
        QMessageBox::AcceptRole);
    QPushButton* quit = box.addButton(QCoreApplication::translate("AccessImport", "退出"), QMessageBox::RejectRole);
    box.setDefaultButton(import);
    box.setEscapeButton(quit);
    box.exec();
    return box.clickedButton() == import;
}

// Renames the Access file aside, then the new database to its name; puts the
// Access file back when the second rename fails.
QString putInPlace(const QString& temp, const QString& path, const QString& kept)
{
    if (!Import::renameNoReplace(path, kept))
        return QCoreApplication::translate("AccessImport", "无法把 %1 改名为 %2").arg(path, kept);
    if (!Import::renameNoReplace(temp, path)) {
        Import::renameNoReplace(kept, path);
        return QCoreApplication::translate("AccessImport", "无法把 %1 改名为 %2").arg(temp, path);
    }
    return {};
}

// Reads the file in a progress dialog and writes the new database; false
// when nothing was put in place.
bool runImport(Import::SandboxedSource& source, const QString& path, const QString& kept)
{
    QProgressDialog dialog(QCoreApplication::translate("AccessImport", "正在读取 Access 数据库……"),
        QCoreApplication::translate("AccessImport", "取消"), 0, 0);
    dialog.setWindowTitle(QGuiApplication::applicationDisplayName());
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(0);
    dialog.setMinimumWidth(420);
    dialog.show();
    QCoreApplication::processEvents();
    const Import::Progress progress = [&](const QString& table, qint64 rows, bool done) {
        const QString name = Import::printable(table);
        dialog.setLabelText(done ? QCoreApplication::translate("Import", "%1：已读 %2 行，完成").arg(name).arg(rows)
                                 : QCoreApplication::translate("Import", "%1：已读 %2 行").arg(name).arg(rows));
        QCoreApplication::processEvents();
    };
    const Import::FileImport result = Import::importToNewFile(
        source, path, progress, [&] { return dialog.wasCanceled(); },
        [&](const QString& temp) { return putInPlace(temp, path, kept); });
    dialog.close();
    if (result.cancelled) {
        Platform::MessageBox(QCoreApplication::translate("AccessImport", "导入已取消，没有任何改动。"),
            Prjconst::_msg_Information, Platform::MB_ICONINFORMATION);
        return false;
    }
    if (!result.error.isEmpty()) {
        Platform::MessageBox(QCoreApplication::translate("AccessImport", "导入失败，没有任何改动：\n%1").arg(result.error),
            Prjconst::_msg_Error, Platform::MB_ICONSTOP);
        return false;
    }
    Platform::MessageBox(Import::summary(result.reports, true)
            + QCoreApplication::translate("AccessImport", "\n已导入到：%1\n原 Access 文件保存为：%2").arg(path, kept),
        Prjconst::_msg_Information, Platform::MB_ICONINFORMATION);
    return true;
}

} // namespace

QString accessKeptName(const QString& path)
{
    const QFileInfo info(path);
    return info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral("-access.")
        + (info.suffix().isEmpty() ? QStringLiteral("mdb") : info.suffix()));
}

bool importAccessDatabase(const QString& appDir, const ImportOffer& offer)
{
    Mainmodule::ConnectionSettings settings;
    try {
        settings = Mainmodule::readConnectionSettings(appDir);
    } catch (const std::exception&) {
        return true; // the data module says what is wrong with Tavrel.ini
    }
    if (settings.driver != u"QSQLITE" || !AccessFile::isAccessFile(settings.file))
        return true;
    const QString path = QDir::toNativeSeparators(settings.file);
    const QString kept = accessKeptName(path);
    if (const QFileInfo existing(kept); existing.exists() || existing.isSymLink()) {
        Platform::MessageBox(QCoreApplication::translate("AccessImport",
                                 "数据库文件是 Windows 版一卡通系统的 Access 数据库：\n%1\n\n"
                                 "导入后原文件要改名为 %2，但该文件已存在。请先把它移走，再启动本程序。")
                                 .arg(path, kept),
            Prjconst::_msg_Error, Platform::MB_ICONSTOP);
        return false;
    }
    const QString text = QCoreApplication::translate("AccessImport",
        "数据库文件是 Windows 版一卡通系统的 Access 数据库：\n%1\n\n"
        "可以把它导入为本系统的数据库。导入后新的数据库取代它，原文件改名保存为：\n%2")
                             .arg(path, kept);
    if (!(offer ? offer(text) : askByMessageBox(text)))
        return false;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        Import::SandboxedSource source(path, 0);
        QApplication::restoreOverrideCursor();
        if (source.tables().isEmpty() && !source.links().isEmpty()) {
            Platform::MessageBox(QCoreApplication::translate("AccessImport",
                                     "该文件只有链接表，数据在其他文件或数据源中；请用 kolvane-db import 导入那些文件本身。"),
                Prjconst::_msg_Error, Platform::MB_ICONSTOP);
            return false;
        }
        return runImport(source, path, kept);
    } catch (const Import::ReadError& e) {
        QApplication::restoreOverrideCursor();
        Platform::MessageBox(QCoreApplication::translate("AccessImport", "无法读取 Access 数据库，没有任何改动：\n%1")
                                 .arg(Platform::messageOf(e)),
            Prjconst::_msg_Error, Platform::MB_ICONSTOP);
        return false;
    }
}

} // namespace Startup
