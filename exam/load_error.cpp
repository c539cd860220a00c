// The load error value and the Chinese messages of refused loads: every
// message once, in one table, filled in by one function.
#include "exam/load_error.h"

#include "exam/exam_store.h"

#include <QStringList>

namespace {

// Indexed by InputKind.
const char *const kind_names[] = {
    QT_TRANSLATE_NOOP("velora", "试题文件"),
    QT_TRANSLATE_NOOP("velora", "答案文件"),
    QT_TRANSLATE_NOOP("velora", "学生名单文件"),
};

struct MessageText {
    LoadFault fault;
    LoadItem item;  // none: whatever the item (the faults of the file and its path)
    const char *text;
};

// %1 the file's kind, %2 its path as typed, %3 the number of the question,
// written question or student, %4 the figure found, %5 the limit passed,
// %6 the student's name, %7 the sheet's path.
const MessageText message_texts[] = {
    {LoadFault::path_empty, LoadItem::none, QT_TRANSLATE_NOOP("velora", "没有填写%1的路径。")},
    {LoadFault::path_has_nul, LoadItem::none, QT_TRANSLATE_NOOP("velora", "%1路径“%2”中含有空字符。")},
    {LoadFault::path_over_limit, LoadItem::none, QT_TRANSLATE_NOOP("velora", "%1路径“%2”太长（超过 %5 字节）。")},
    {LoadFault::missing, LoadItem::none, QT_TRANSLATE_NOOP("velora", "找不到%1“%2”。")},
    {LoadFault::not_regular, LoadItem::none, QT_TRANSLATE_NOOP("velora", "%1“%2”不是普通文件。")},
    {LoadFault::unopenable, LoadItem::none, QT_TRANSLATE_NOOP("velora", "无法打开%1“%2”。")},
    {LoadFault::read_failed, LoadItem::none, QT_TRANSLATE_NOOP("velora", "读取%1“%2”时出错。")},
    {LoadFault::utf16_odd_length, LoadItem::none,
     QT_TRANSLATE_NOOP("velora",
                       "%1“%2”以 UTF-16 编码标记开头，但字节数是奇数，文件不完整或已损坏。请重新保存后再导入。")},
    {LoadFault::utf16_unpaired_surrogate, LoadItem::none,
     QT_TRANSLATE_NOOP("velora",
                       "%1“%2”以 UTF-16 编码标记开头，但其中有不成对的代理项，文件已损坏。请重新保存后再导入。")},
    {LoadFault::store_counts_invalid, LoadItem::none,
     QT_TRANSLATE_NOOP("velora", "试题数量无效，请重新导入试题文件。")},
    {LoadFault::store_counts_invalid, LoadItem::written_count,
     QT_TRANSLATE_NOOP("velora", "非选择题数量（%4）无效，请重新导入试题文件。")},

    {LoadFault::ends_early, LoadItem::choice_count, QT_TRANSLATE_NOOP("velora", "%1“%2”中缺少选择题数量。")},
    {LoadFault::not_a_number, LoadItem::choice_count, QT_TRANSLATE_NOOP("velora", "%1“%2”中的选择题数量不是数字。")},
    {LoadFault::out_of_range, LoadItem::choice_count, QT_TRANSLATE_NOOP("velora", "%1“%2”中的选择题数量超出范围。")},
    {LoadFault::negative, LoadItem::choice_count, QT_TRANSLATE_NOOP("velora", "%1“%2”中的选择题数量（%4）是负数。")},
    {LoadFault::over_limit, LoadItem::choice_count,
     QT_TRANSLATE_NOOP("velora", "%1“%2”中的选择题数量（%4）超过上限 %5。")},
    {LoadFault::ends_early, LoadItem::written_count, QT_TRANSLATE_NOOP("velora", "%1“%2”中缺少非选择题数量。")},
    {LoadFault::not_a_number, LoadItem::written_count, QT_TRANSLATE_NOOP("velora", "%1“%2”中的非选择题数量不是数字。")},
    {LoadFault::out_of_range, LoadItem::written_count, QT_TRANSLATE_NOOP("velora", "%1“%2”中的非选择题数量超出范围。")},
    {LoadFault::negative, LoadItem::written_count, QT_TRANSLATE_NOOP("velora", "%1“%2”中的非选择题数量（%4）是负数。")},
    {LoadFault::over_limit, LoadItem::written_count,
     QT_TRANSLATE_NOOP("velora", "%1“%2”中的非选择题数量（%4）超过上限 %5。")},
    {LoadFault::ends_early, LoadItem::student_count, QT_TRANSLATE_NOOP("velora", "%1“%2”中缺少学生人数。")},
    {LoadFault::not_a_number, LoadItem::student_count, QT_TRANSLATE_NOOP("velora", "%1“%2”中的学生人数不是数字。")},
    {LoadFault::out_of_range, LoadItem::student_count, QT_TRANSLATE_NOOP("velora", "%1“%2”中的学生人数超出范围。")},
    {LoadFault::negative, LoadItem::student_count, QT_TRANSLATE_NOOP("velora", "%1“%2”中的学生人数（%4）是负数。")},
    {LoadFault::over_limit, LoadItem::student_count,
     QT_TRANSLATE_NOOP("velora", "%1“%2”中的学生人数（%4）超过上限 %5。")},

    {LoadFault::ends_early, LoadItem::max_score, QT_TRANSLATE_NOOP("velora", "%1“%2”中缺少第 %3 题的最高分。")},
    {LoadFault::not_a_number, LoadItem::max_score, QT_TRANSLATE_NOOP("velora", "%1“%2”中第 %3 题的最高分不是数字。")},
    {LoadFault::out_of_range, LoadItem::max_score, QT_TRANSLATE_NOOP("velora", "%1“%2”中第 %3 题的最高分超出范围。")},
    {LoadFault::negative, LoadItem::max_score, QT_TRANSLATE_NOOP("velora", "%1“%2”中第 %3 题的最高分（%4）是负数。")},
    {LoadFault::over_limit, LoadItem::max_score,
     QT_TRANSLATE_NOOP("velora", "%1“%2”中第 %3 题的最高分（%4）超过上限 %5 分。")},

    {LoadFault::no_start, LoadItem::question_text,
     QT_TRANSLATE_NOOP("velora", "%1“%2”在第 %3 题的题目之前就结束了（缺少“@”）。")},
    {LoadFault::unterminated, LoadItem::question_text,
     QT_TRANSLATE_NOOP("velora", "%1“%2”中第 %3 题的题目没有结束（缺少“$”）。")},
    {LoadFault::over_limit, LoadItem::question_text,
     QT_TRANSLATE_NOOP("velora", "%1“%2”中第 %3 题的题目超过 %5 字节。")},
    {LoadFault::no_start, LoadItem::standard_answer,
     QT_TRANSLATE_NOOP("velora", "%1“%2”在第 %3 道非选择题的标准答案之前就结束了（缺少“@”）。")},
    {LoadFault::unterminated, LoadItem::standard_answer,
     QT_TRANSLATE_NOOP("velora", "%1“%2”中第 %3 道非选择题的标准答案没有结束（缺少“$”）。")},
    {LoadFault::over_limit, LoadItem::standard_answer,
     QT_TRANSLATE_NOOP("velora", "%1“%2”中第 %3 道非选择题的标准答案超过 %5 字节。")},

    {LoadFault::ends_early, LoadItem::key, QT_TRANSLATE_NOOP("velora", "%1“%2”中没有选择题答案。")},
    {LoadFault::over_limit, LoadItem::key, QT_TRANSLATE_NOOP("velora", "%1“%2”中的选择题答案超过 %5 字节。")},
    {LoadFault::ends_early, LoadItem::student_name,
     QT_TRANSLATE_NOOP("velora", "%1“%2”在第 %3 名学生的名字之前就结束了（人数为 %4）。")},
    {LoadFault::over_limit, LoadItem::student_name,
     QT_TRANSLATE_NOOP("velora", "%1“%2”中第 %3 名学生的名字超过 %5 字节。")},
    {LoadFault::over_limit, LoadItem::sheet_path,
     QT_TRANSLATE_NOOP("velora", "%1“%2”中学生“%6”的答卷文件路径太长（超过 %5 字节）。")},
    {LoadFault::over_limit, LoadItem::sheet_answer,
     QT_TRANSLATE_NOOP("velora", "学生“%6”的答卷文件“%7”中第 %3 道非选择题答案超过 %5 字节。")},
};

// The row for the fault and item, else for the fault whatever the item.
const char *message_text(LoadFault fault, LoadItem item)
{
    const char *any_item = nullptr;
    for (const MessageText &m : message_texts) {
        if (m.fault == fault && m.item == item)
            return m.text;
        if (m.fault == fault && m.item == LoadItem::none)
            any_item = m.text;
    }
    // Every fault a loader returns has a row; a stray one is told as a failed read.
    return any_item ? any_item : message_text(LoadFault::read_failed, LoadItem::none);
}

// Puts args into %1 … %9 in one pass, so a "%" in a path or a name stays as typed.
QString fill(const QString &text, const QStringList &args)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const int n = i + 1 < text.size() && text[i] == QLatin1Char('%') ? text[i + 1].digitValue() : -1;
        if (n >= 1 && n <= args.size()) {
            out += args[n - 1];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

QString kind_name(InputKind kind)
{
    return LoadText::tr(kind_names[static_cast<int>(kind)]);
}

}  // namespace

LoadError LoadError::of(LoadFault fault, int limit)
{
    LoadError e;
    e.fault = fault;
    e.limit = limit;
    return e;
}

LoadError LoadError::in_item(LoadFault fault, LoadItem item, int number, double value, int limit)
{
    LoadError e = of(fault, limit);
    e.item = item;
    e.number = number;
    e.value = value;
    return e;
}

LoadError LoadError::sheet_answer_over_limit(const QString &student, const QString &sheet, int number)
{
    LoadError e = in_item(LoadFault::over_limit, LoadItem::sheet_answer, number, 0, limits::text_bytes);
    e.student = student;
    e.sheet = sheet;
    return e;
}

LoadError LoadError::sheet_path_over_limit(const QString &student)
{
    LoadError e = in_item(LoadFault::over_limit, LoadItem::sheet_path, 0, 0, limits::path_bytes);
    e.student = student;
    return e;
}

LoadError LoadError::at(InputKind kind, const QString &typed) const
{
    LoadError e = *this;
    e.file = kind;
    e.path = typed;
    return e;
}

QString load_error_message(const LoadError &e)
{
    if (e.ok())
        return QString();
    // Counts are whole numbers even when kept in a double.
    const QString value
        = e.item == LoadItem::max_score ? QString::number(e.value) : QString::number(static_cast<qlonglong>(e.value));
    return fill(
        LoadText::tr(message_text(e.fault, e.item)),
        {kind_name(e.file), e.path, QString::number(e.number), value, QString::number(e.limit), e.student, e.sheet});
}

QString input_file_text(InputKind kind, const QString &typed)
{
    return fill(LoadText::tr("%1“%2”"), {kind_name(kind), typed});
}
