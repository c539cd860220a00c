// The Chinese messages of refused loads and of incomplete answer sheets.
#include "exam/load_error.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

QString tr(const char *source_text)
{
    return QCoreApplication::translate("velora", source_text);
}

QString num(int n) { return QString::number(n); }

// Counts are whole numbers even when kept in a double.
QString count_text(double v) { return QString::number(static_cast<qlonglong>(v)); }

QString kind_name(InputKind k)
{
    switch (k) {
    case InputKind::problem:
        return tr("试题文件");
    case InputKind::answer:
        return tr("答案文件");
    case InputKind::roster:
        break;
    }
    return tr("学生名单文件");
}

// The file as messages name it: kind and path.
QString where(const LoadError &e)
{
    switch (e.file) {
    case InputKind::problem:
        return tr("试题文件“%1”").arg(e.path);
    case InputKind::answer:
        return tr("答案文件“%1”").arg(e.path);
    case InputKind::roster:
        break;
    }
    return tr("学生名单文件“%1”").arg(e.path);
}

QString file_message(const LoadError &e)
{
    const QString kind = kind_name(e.file);
    switch (e.fault) {
    case LoadFault::path_empty:
        return tr("没有填写%1的路径。").arg(kind);
    case LoadFault::path_has_nul:
        return tr("%1路径“%2”中含有空字符。").arg(kind, e.path);
    case LoadFault::path_too_long:
        return tr("%1路径“%2”太长（超过 %3 字节）。").arg(kind, e.path, num(e.limit));
    case LoadFault::file_missing:
        return tr("找不到%1“%2”。").arg(kind, e.path);
    case LoadFault::file_not_regular:
        return tr("%1“%2”不是普通文件。").arg(kind, e.path);
    case LoadFault::read_failed:
        return tr("读取%1时出错。").arg(where(e));
    case LoadFault::utf16_odd_length:
        return tr("%1以 UTF-16 编码标记开头，但字节数是奇数，文件不完整或已损坏。请重新保存后再导入。").arg(where(e));
    case LoadFault::utf16_unpaired_surrogate:
        return tr("%1以 UTF-16 编码标记开头，但其中有不成对的代理项，文件已损坏。请重新保存后再导入。").arg(where(e));
    case LoadFault::store_counts_invalid:
        if (e.item == LoadItem::written_count)
            return tr("非选择题数量（%1）无效，请重新导入试题文件。").arg(count_text(e.value));
        return tr("试题数量无效，请重新导入试题文件。");
    default:
        break;
    }
    return tr("无法打开%1“%2”。").arg(kind, e.path);
}

QString count_message(const LoadError &e)
{
    const char *what = e.item == LoadItem::choice_count    ? QT_TRANSLATE_NOOP("velora", "选择题数量")
                       : e.item == LoadItem::written_count ? QT_TRANSLATE_NOOP("velora", "非选择题数量")
                                                           : QT_TRANSLATE_NOOP("velora", "学生人数");
    const QString w = where(e), count = tr(what);
    switch (e.fault) {
    case LoadFault::missing:
        return tr("%1中缺少%2。").arg(w, count);
    case LoadFault::out_of_range:
        return tr("%1中的%2超出范围。").arg(w, count);
    case LoadFault::negative:
        return tr("%1中的%2（%3）是负数。").arg(w, count, count_text(e.value));
    case LoadFault::over_limit:
        return tr("%1中的%2（%3）超过上限 %4。").arg(w, count, count_text(e.value), num(e.limit));
    default:
        break;
    }
    return tr("%1中的%2不是数字。").arg(w, count);
}

QString score_message(const LoadError &e)
{
    const QString w = where(e), p = num(e.number);
    switch (e.fault) {
    case LoadFault::missing:
        return tr("%1中缺少第 %2 题的最高分。").arg(w, p);
    case LoadFault::out_of_range:
        return tr("%1中第 %2 题的最高分超出范围。").arg(w, p);
    case LoadFault::negative:
        return tr("%1中第 %2 题的最高分（%3）是负数。").arg(w, p, QString::number(e.value));
    case LoadFault::over_limit:
        return tr("%1中第 %2 题的最高分（%3）超过上限 %4 分。").arg(w, p, QString::number(e.value), num(e.limit));
    default:
        break;
    }
    return tr("%1中第 %2 题的最高分不是数字。").arg(w, p);
}

QString question_text_message(const LoadError &e)
{
    const QString w = where(e), p = num(e.number);
    switch (e.fault) {
    case LoadFault::no_start:
        return tr("%1在第 %2 题的题目之前就结束了（缺少“@”）。").arg(w, p);
    case LoadFault::over_limit:
        return tr("%1中第 %2 题的题目超过 %3 字节。").arg(w, p, num(e.limit));
    default:
        break;
    }
    return tr("%1中第 %2 题的题目没有结束（缺少“$”）。").arg(w, p);
}

QString standard_answer_message(const LoadError &e)
{
    const QString w = where(e), q = num(e.number);
    switch (e.fault) {
    case LoadFault::no_start:
        return tr("%1在第 %2 道非选择题的标准答案之前就结束了（缺少“@”）。").arg(w, q);
    case LoadFault::over_limit:
        return tr("%1中第 %2 道非选择题的标准答案超过 %3 字节。").arg(w, q, num(e.limit));
    default:
        break;
    }
    return tr("%1中第 %2 道非选择题的标准答案没有结束（缺少“$”）。").arg(w, q);
}

QString roster_item_message(const LoadError &e)
{
    const QString w = where(e);
    switch (e.item) {
    case LoadItem::student_name:
        if (e.fault == LoadFault::over_limit)
            return tr("%1中第 %2 名学生的名字超过 %3 字节。").arg(w, num(e.number), num(e.limit));
        return tr("%1在第 %2 名学生的名字之前就结束了（人数为 %3）。").arg(w, num(e.number), count_text(e.value));
    case LoadItem::sheet_path:
        return tr("%1中学生“%2”的答卷文件路径太长（超过 %3 字节）。").arg(w, e.student, num(e.limit));
    default:
        break;
    }
    return tr("学生“%1”的答卷文件“%2”中第 %3 道非选择题答案超过 %4 字节。")
        .arg(e.student, e.sheet, num(e.number), num(e.limit));
}

// "缺少第 3 道…" or "缺少第 3 至 5 道…".
QString written_range(int from, int to)
{
    if (from == to)
        return tr("缺少第 %1 道非选择题答案").arg(from);
    return tr("缺少第 %1 至 %2 道非选择题答案").arg(num(from), num(to));
}

QString sheet_lacks(const SheetGap &g)
{
    switch (g.fault) {
    case SheetFault::unusable_name:
        return tr("名字含有“/”或“\\”，或者是“.”“..”，不能用作答卷文件名");
    case SheetFault::missing:
        return tr("找不到答卷文件");
    case SheetFault::not_regular:
        return tr("答卷文件不是普通文件");
    case SheetFault::unopenable:
        return tr("无法打开答卷文件");
    case SheetFault::read_failed:
        return tr("读取答卷文件时出错");
    case SheetFault::utf16_odd_length:
        return tr("答卷文件以 UTF-16 编码标记开头，但字节数是奇数，文件已损坏");
    case SheetFault::utf16_unpaired_surrogate:
        return tr("答卷文件以 UTF-16 编码标记开头，但其中有不成对的代理项，文件已损坏");
    case SheetFault::incomplete:
        break;
    }
    QStringList lacks;
    if (g.choices_read < g.choices_wanted)
        lacks << tr("选择题答案不完整（只有 %1 个，应有 %2 个）").arg(num(g.choices_read), num(g.choices_wanted));
    if (g.unterminated > 0)
        lacks << tr("第 %1 道非选择题答案不完整").arg(g.unterminated);
    if (g.first_missing > 0)
        lacks << written_range(g.first_missing, g.last_missing);
    return lacks.join(tr("；"));
}

// "张三、李四……" when more were left unnamed.
QString name_list(const QStringList &names, qint64 total)
{
    QString list = names.join(tr("、"));
    if (total > names.size())
        list += tr("……");
    return list;
}

const char *const save_as_utf8 = QT_TRANSLATE_NOOP(
    "velora", "请用记事本打开它，选择“文件”→“另存为”，在“编码”中选择 UTF-8，保存后重新导入。");

}  // namespace

QString load_error_message(const LoadError &e)
{
    switch (e.fault) {
    case LoadFault::none:
        return QString();
    case LoadFault::path_empty:
    case LoadFault::path_has_nul:
    case LoadFault::path_too_long:
    case LoadFault::file_missing:
    case LoadFault::file_not_regular:
    case LoadFault::file_unopenable:
    case LoadFault::read_failed:
    case LoadFault::utf16_odd_length:
    case LoadFault::utf16_unpaired_surrogate:
    case LoadFault::store_counts_invalid:
        return file_message(e);
    default:
        break;
    }
    switch (e.item) {
    case LoadItem::max_score:
        return score_message(e);
    case LoadItem::question_text:
        return question_text_message(e);
    case LoadItem::standard_answer:
        return standard_answer_message(e);
    case LoadItem::key:
        if (e.fault == LoadFault::over_limit)
            return tr("%1中的选择题答案超过 %2 字节。").arg(where(e), num(e.limit));
        return tr("%1中没有选择题答案。").arg(where(e));
    case LoadItem::student_name:
    case LoadItem::sheet_path:
    case LoadItem::sheet_answer:
        return roster_item_message(e);
    default:
        break;
    }
    return count_message(e);
}

QString sheet_gap_message(const SheetGap &g)
{
    const QString who = g.name.isEmpty() ? tr("第 %1 名学生").arg(g.student) : g.name;
    return tr("%1：%2").arg(who, sheet_lacks(g));
}

LoadNotice not_utf8_notice(InputKind file, const QString &path)
{
    LoadNotice n;
    n.kind = NoticeKind::not_utf8;
    n.file = file;
    n.path = path;
    return n;
}

QString load_notice_message(const LoadNotice &n)
{
    LoadError e;
    e.file = n.file;
    e.path = n.path;
    switch (n.kind) {
    case NoticeKind::not_utf8: {
        QString text = tr("%1似乎不是 UTF-8 编码（可能是 GBK），其中的文字会显示成乱码。").arg(where(e));
        if (n.sheets_not_found > 0)
            text += tr("学生名字不是 UTF-8，所以按这些名字找不到答卷文件：这就是下面 %1 名学生“找不到答卷文件”的原因。")
                        .arg(n.sheets_not_found);
        return text + tr(save_as_utf8);
    }
    case NoticeKind::extra_names:
        return tr("%1中的人数是 %2，后面却列出了 %3 个名字；只导入了前 %2 名学生，没有导入：%4。请核对人数。")
            .arg(where(e), QString::number(n.count), QString::number(n.listed), name_list(n.names, n.listed - n.count));
    case NoticeKind::sheets_not_utf8:
        break;
    }
    return tr("以下 %1 名学生的答卷文件似乎不是 UTF-8 编码（可能是 GBK），答案会显示成乱码：%2。")
               .arg(QString::number(n.listed), name_list(n.names, n.listed))
        + tr(save_as_utf8);
}
