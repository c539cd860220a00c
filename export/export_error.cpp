// Export errors: how a system error becomes a fault kind, and every export
// message, each written once and translated in the context "velora".
#include "export/export_error.h"

#include <QCoreApplication>
#include <QDir>

#include <xlsxwriter.h>

#include <cerrno>
#include <cstring>

namespace {

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

// Every message with nothing to fill in.
const FixedText fixed_texts[] = {
    {ExportFault::invalid_path, QT_TRANSLATE_NOOP("velora", "文件路径无效。")},
    {ExportFault::unusable_characters, QT_TRANSLATE_NOOP("velora", "路径中含有无法用作文件名的字符。")},
    {ExportFault::no_file_name, QT_TRANSLATE_NOOP("velora", "路径中缺少文件名。")},
    {ExportFault::is_folder, QT_TRANSLATE_NOOP("velora", "该路径是一个文件夹。")},
    {ExportFault::no_directory, QT_TRANSLATE_NOOP("velora", "目录不存在。")},
    {ExportFault::read_only_file, QT_TRANSLATE_NOOP("velora", "没有写入该文件的权限，它可能是只读的。")},
    {ExportFault::not_regular, QT_TRANSLATE_NOOP("velora", "该路径不是普通文件。")},
    {ExportFault::link_loop, QT_TRANSLATE_NOOP("velora", "符号链接层数过多或构成循环。")},
    {ExportFault::cannot_create_here, QT_TRANSLATE_NOOP("velora", "无法在该位置创建文件。")},
    {ExportFault::no_temporary_name, QT_TRANSLATE_NOOP("velora", "无法在该位置创建临时文件。")},
    {ExportFault::no_permission, QT_TRANSLATE_NOOP("velora", "没有在该位置写入的权限。")},
    {ExportFault::read_only_location, QT_TRANSLATE_NOOP("velora", "该位置是只读的。")},
    {ExportFault::disk_full, QT_TRANSLATE_NOOP("velora", "磁盘空间不足。")},
    {ExportFault::name_over_limit, QT_TRANSLATE_NOOP("velora", "文件名太长。")},
    {ExportFault::disk_error, QT_TRANSLATE_NOOP("velora", "磁盘读写出错。")},
    {ExportFault::replace_blocked, QT_TRANSLATE_NOOP("velora", "无法替换文件，它可能正被其他程序使用。")},
    {ExportFault::xls_file_over_limit, QT_TRANSLATE_NOOP("velora", "表格太大，无法保存为 .xls 工作簿。")},
    {ExportFault::invalid_stream_name, QT_TRANSLATE_NOOP("velora", "工作簿内部的数据流名称无效。")},
    {ExportFault::out_of_memory, QT_TRANSLATE_NOOP("velora", "内存不足。")},
    {ExportFault::cannot_create_file, QT_TRANSLATE_NOOP("velora", "无法创建文件，可能没有写入权限或目录不存在。")},
    {ExportFault::temporary_file_failed, QT_TRANSLATE_NOOP("velora", "无法使用临时文件，临时目录可能已满或不可写。")},
    {ExportFault::no_work_folder,
     QT_TRANSLATE_NOOP("velora",
                       "Windows 当前的区域设置（ANSI 代码页）拼写不出临时文件夹，也拼写不出导出的文件夹，"
                       "生成 .xlsx 所用的组件无法在其中工作。导出为 .xls 不受此限制。")},
    {ExportFault::write_failed, QT_TRANSLATE_NOOP("velora", "写入文件时出错，磁盘可能已满。")},
};

// The export's messages, translated in the context "velora".
class ExportText {
    Q_DECLARE_TR_FUNCTIONS(velora)

public:
    static QString fixed(ExportFault fault);
    static QString message(const ExportError &e);
};

QString ExportText::fixed(ExportFault fault)
{
    for (const FixedText &f : fixed_texts)
        if (f.fault == fault)
            return tr(f.text);
    return QString();
}

// Every message with something to fill in: the reasons that carry values, and
// the frame that names the file.
QString ExportText::message(const ExportError &e)
{
    QString reason;
    switch (e.fault) {
    case ExportFault::system_error:
        reason = tr("系统错误（%1）。").arg(QString::fromLocal8Bit(std::strerror(e.system_error)));
        break;
    case ExportFault::text_over_limit:
        reason = tr("单元格%1的文字超过%2个字符，工作簿无法保存这么长的文字。")
                     .arg(cell_name(e.row, e.column))
                     .arg(e.max_chars);
        break;
    case ExportFault::sheet_over_limit:
        reason = tr("表格超出了工作簿的大小上限（%1行、%2列）。").arg(e.max_rows).arg(e.max_columns);
        break;
    case ExportFault::xls_sheet_over_limit:
        reason = tr("表格超出了 .xls 工作簿的大小上限（%1行、%2列）。").arg(e.max_rows).arg(e.max_columns);
        break;
    case ExportFault::library_error:
        reason = tr("写入工作簿失败（%1）。")
                     .arg(QString::fromUtf8(lxw_strerror(static_cast<lxw_error>(e.library_error))));
        break;
    default:
        reason = fixed(e.fault);
        break;
    }
    if (e.path.isEmpty())
        return reason;
    return tr("无法导出到“%1”：%2").arg(QDir::toNativeSeparators(e.path), reason);
}

ExportFault fault_of_errno(int e)
{
    switch (e) {
    case EACCES:
    case EPERM:
        return ExportFault::no_permission;
    case EROFS:
        return ExportFault::read_only_location;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return ExportFault::disk_full;
    case ENOENT:
    case ENOTDIR:
        return ExportFault::no_directory;
    case ENAMETOOLONG:
        return ExportFault::name_over_limit;
    case EISDIR:
        return ExportFault::is_folder;
    case EIO:
        return ExportFault::disk_error;
    default:
        return ExportFault::system_error;
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

ExportError ExportError::text_over_limit(int row, int column, int max_chars)
{
    ExportError e = of(ExportFault::text_over_limit);
    e.row = row;
    e.column = column;
    e.max_chars = max_chars;
    return e;
}

ExportError ExportError::sheet_over_limit(ExportFault fault, int max_rows, int max_columns)
{
    ExportError e = of(fault);
    e.max_rows = max_rows;
    e.max_columns = max_columns;
    return e;
}

ExportError ExportError::library(int lxw_error)
{
    ExportError e = of(ExportFault::library_error);
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
    return a.fault == b.fault && a.path == b.path && a.system_error == b.system_error
        && a.library_error == b.library_error && a.row == b.row && a.column == b.column && a.max_chars == b.max_chars
        && a.max_rows == b.max_rows && a.max_columns == b.max_columns;
}

QString export_error_message(const ExportError &error)
{
    return error.ok() ? QString() : ExportText::message(error);
}
