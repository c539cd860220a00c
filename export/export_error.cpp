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

struct FixedText {
    ExportFault fault;
    const char *text;
};

// Messages with nothing to fill in.
const FixedText fixed_texts[] = {
    {ExportFault::InvalidPath, QT_TRANSLATE_NOOP("velora", "文件路径无效。")},
    {ExportFault::UnusableCharacters, QT_TRANSLATE_NOOP("velora", "路径中含有无法用作文件名的字符。")},
    {ExportFault::NoFileName, QT_TRANSLATE_NOOP("velora", "路径中缺少文件名。")},
    {ExportFault::IsFolder, QT_TRANSLATE_NOOP("velora", "该路径是一个文件夹。")},
    {ExportFault::NoDirectory, QT_TRANSLATE_NOOP("velora", "目录不存在。")},
    {ExportFault::ReadOnlyFile, QT_TRANSLATE_NOOP("velora", "没有写入该文件的权限，它可能是只读的。")},
    {ExportFault::NotRegularFile, QT_TRANSLATE_NOOP("velora", "该路径不是普通文件。")},
    {ExportFault::LinkLoop, QT_TRANSLATE_NOOP("velora", "符号链接层数过多或构成循环。")},
    {ExportFault::CannotCreateHere, QT_TRANSLATE_NOOP("velora", "无法在该位置创建文件。")},
    {ExportFault::NoTemporaryName, QT_TRANSLATE_NOOP("velora", "无法在该位置创建临时文件。")},
    {ExportFault::NoPermission, QT_TRANSLATE_NOOP("velora", "没有在该位置写入的权限。")},
    {ExportFault::ReadOnlyLocation, QT_TRANSLATE_NOOP("velora", "该位置是只读的。")},
    {ExportFault::DiskFull, QT_TRANSLATE_NOOP("velora", "磁盘空间不足。")},
    {ExportFault::NameTooLong, QT_TRANSLATE_NOOP("velora", "文件名太长。")},
    {ExportFault::DiskError, QT_TRANSLATE_NOOP("velora", "磁盘读写出错。")},
    {ExportFault::ReplaceBlocked, QT_TRANSLATE_NOOP("velora", "无法替换文件，它可能正被其他程序使用。")},
    {ExportFault::XlsFileTooLarge, QT_TRANSLATE_NOOP("velora", "表格太大，无法保存为 .xls 工作簿。")},
    {ExportFault::InvalidStreamName, QT_TRANSLATE_NOOP("velora", "工作簿内部的数据流名称无效。")},
    {ExportFault::OutOfMemory, QT_TRANSLATE_NOOP("velora", "内存不足。")},
    {ExportFault::CannotCreateFile, QT_TRANSLATE_NOOP("velora", "无法创建文件，可能没有写入权限或目录不存在。")},
    {ExportFault::TemporaryFileFailed, QT_TRANSLATE_NOOP("velora", "无法使用临时文件，临时目录可能已满或不可写。")},
    {ExportFault::WriteFailed, QT_TRANSLATE_NOOP("velora", "写入文件时出错，磁盘可能已满。")},
};

QString reason(const ExportError &e)
{
    switch (e.fault) {
    case ExportFault::SystemError:
        return tr("系统错误（%1）。").arg(QString::fromLocal8Bit(std::strerror(e.system_error)));
    case ExportFault::TextTooLong:
        return tr("单元格%1的文字超过%2个字符，工作簿无法保存这么长的文字。")
            .arg(cell_name(e.row, e.column))
            .arg(e.max_chars);
    case ExportFault::SheetTooLarge:
        return tr("表格超出了工作簿的大小上限（%1行、%2列）。").arg(e.max_rows).arg(e.max_columns);
    case ExportFault::XlsSheetTooLarge:
        return tr("表格超出了 .xls 工作簿的大小上限（%1行、%2列）。").arg(e.max_rows).arg(e.max_columns);
    case ExportFault::LibraryError:
        return tr("写入工作簿失败（%1）。")
            .arg(QString::fromUtf8(lxw_strerror(static_cast<lxw_error>(e.library_error))));
    default:
        break;
    }
    for (const FixedText &f : fixed_texts)
        if (f.fault == e.fault)
            return tr(f.text);
    return QString();
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
