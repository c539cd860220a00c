// Export errors: how a system error becomes a fault kind, and every export
// message, each written once and translated in the context "velora".
#include "export/export_error.h"

#include <QCoreApplication>
#include <QDir>

#include <xlsxwriter.h>

#include <cerrno>
#include <cstring>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("velora", text);
}

QString cell_name(int row, int column)
{
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar('A' + (c - 1) % 26));
    return letters + QString::number(row + 1);
}

QString reason(const ExportError &e)
{
    switch (e.fault) {
    case ExportFault::None:
        return QString();
    case ExportFault::InvalidPath:
        return tr("文件路径无效。");
    case ExportFault::UnusableCharacters:
        return tr("路径中含有无法用作文件名的字符。");
    case ExportFault::NoFileName:
        return tr("路径中缺少文件名。");
    case ExportFault::IsFolder:
        return tr("该路径是一个文件夹。");
    case ExportFault::NoDirectory:
        return tr("目录不存在。");
    case ExportFault::ReadOnlyFile:
        return tr("没有写入该文件的权限，它可能是只读的。");
    case ExportFault::CannotCreateHere:
        return tr("无法在该位置创建文件。");
    case ExportFault::NoTemporaryName:
        return tr("无法在该位置创建临时文件。");
    case ExportFault::NoPermission:
        return tr("没有在该位置写入的权限。");
    case ExportFault::ReadOnlyLocation:
        return tr("该位置是只读的。");
    case ExportFault::DiskFull:
        return tr("磁盘空间不足。");
    case ExportFault::NameTooLong:
        return tr("文件名太长。");
    case ExportFault::DiskError:
        return tr("磁盘读写出错。");
    case ExportFault::SystemError:
        return tr("系统错误（%1）。").arg(QString::fromLocal8Bit(std::strerror(e.system_error)));
    case ExportFault::ReplaceBlocked:
        return tr("无法替换文件，它可能正被其他程序使用。");
    case ExportFault::TextTooLong:
        return tr("单元格%1的文字超过%2个字符，工作簿无法保存这么长的文字。")
            .arg(cell_name(e.row, e.column))
            .arg(e.max_chars);
    case ExportFault::SheetTooLarge:
        return tr("表格超出了工作簿的大小上限（%1行、%2列）。").arg(e.max_rows).arg(e.max_columns);
    case ExportFault::XlsSheetTooLarge:
        return tr("表格超出了 .xls 工作簿的大小上限（%1行、%2列）。").arg(e.max_rows).arg(e.max_columns);
    case ExportFault::XlsFileTooLarge:
        return tr("表格太大，无法保存为 .xls 工作簿。");
    case ExportFault::InvalidStreamName:
        return tr("工作簿内部的数据流名称无效。");
    case ExportFault::OutOfMemory:
        return tr("内存不足。");
    case ExportFault::CannotCreateFile:
        return tr("无法创建文件，可能没有写入权限或目录不存在。");
    case ExportFault::TemporaryFileFailed:
        return tr("无法使用临时文件，临时目录可能已满或不可写。");
    case ExportFault::WriteFailed:
        return tr("写入文件时出错，磁盘可能已满。");
    case ExportFault::LibraryError:
        return tr("写入工作簿失败（%1）。")
            .arg(QString::fromUtf8(lxw_strerror(static_cast<lxw_error>(e.library_error))));
    }
    return tr("写入工作簿失败（%1）。").arg(int(e.fault));
}

ExportFault fault_of_errno(int e)
{
    switch (e) {
    case EACCES:
    case EPERM:
        return ExportFault::NoPermission;
    case EROFS:
        return ExportFault::ReadOnlyLocation;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return ExportFault::DiskFull;
    case ENOENT:
    case ENOTDIR:
        return ExportFault::NoDirectory;
    case ENAMETOOLONG:
        return ExportFault::NameTooLong;
    case EISDIR:
        return ExportFault::IsFolder;
    case EIO:
        return ExportFault::DiskError;
    default:
        return ExportFault::SystemError;
    }
}

}  // namespace

ExportError ExportError::of(ExportFault fault)
{
    ExportError e;
    e.fault = fault;
    return e;
}

ExportError ExportError::from_errno(int err)
{
    ExportError e = of(fault_of_errno(err));
    e.system_error = err;
    return e;
}

ExportError ExportError::text_too_long(int row, int column, int max_chars)
{
    ExportError e = of(ExportFault::TextTooLong);
    e.row = row;
    e.column = column;
    e.max_chars = max_chars;
    return e;
}

ExportError ExportError::too_large(ExportFault fault, int max_rows, int max_columns)
{
    ExportError e = of(fault);
    e.max_rows = max_rows;
    e.max_columns = max_columns;
    return e;
}

ExportError ExportError::library(int lxw_error)
{
    ExportError e = of(ExportFault::LibraryError);
    e.library_error = lxw_error;
    return e;
}

ExportError ExportError::at(const QString &file) const
{
    ExportError e = *this;
    e.path = file;
    return e;
}

bool operator==(const ExportError &a, const ExportError &b)
{
    return a.fault == b.fault && a.path == b.path && a.system_error == b.system_error &&
           a.library_error == b.library_error && a.row == b.row && a.column == b.column &&
           a.max_chars == b.max_chars && a.max_rows == b.max_rows && a.max_columns == b.max_columns;
}

QString export_error_message(const ExportError &error)
{
    if (error.ok())
        return QString();
    if (error.path.isEmpty())
        return reason(error);
    return tr("无法导出到“%1”：%2").arg(QDir::toNativeSeparators(error.path), reason(error));
}
