// The Chinese lines of a load report: incomplete answer sheets and notices.
#include "exam/load_report.h"

namespace {

QString num(qint64 n)
{
    return QString::number(n);
}

struct GapText {
    SheetFault fault;
    const char *text;
};

// Sheets that gave nothing; an incomplete one is told by its counts.
const GapText gap_texts[] = {
    {SheetFault::unusable_name, QT_TRANSLATE_NOOP("velora", "名字含有“/”或“\\”，或者是“.”“..”，不能用作答卷文件名")},
    {SheetFault::missing, QT_TRANSLATE_NOOP("velora", "找不到答卷文件")},
    {SheetFault::not_regular, QT_TRANSLATE_NOOP("velora", "答卷文件不是普通文件")},
    {SheetFault::unopenable, QT_TRANSLATE_NOOP("velora", "无法打开答卷文件")},
    {SheetFault::read_failed, QT_TRANSLATE_NOOP("velora", "读取答卷文件时出错")},
    {SheetFault::utf16_odd_length,
     QT_TRANSLATE_NOOP("velora", "答卷文件以 UTF-16 编码标记开头，但字节数是奇数，文件已损坏")},
    {SheetFault::utf16_unpaired_surrogate,
     QT_TRANSLATE_NOOP("velora", "答卷文件以 UTF-16 编码标记开头，但其中有不成对的代理项，文件已损坏")},
};

QString sheet_lacks(const SheetGap &g)
{
    for (const GapText &t : gap_texts)
        if (t.fault == g.fault)
            return LoadText::tr(t.text);
    QStringList lacks;
    if (g.choices_read < g.choices_wanted)
        lacks << LoadText::tr("选择题答案不完整（只有 %1 个，应有 %2 个）")
                     .arg(num(g.choices_read), num(g.choices_wanted));
    if (g.unterminated > 0)
        lacks << LoadText::tr("第 %1 道非选择题答案不完整").arg(g.unterminated);
    // "缺少第 3 道…" or "缺少第 3 至 5 道…".
    if (g.first_missing > 0 && g.first_missing == g.last_missing)
        lacks << LoadText::tr("缺少第 %1 道非选择题答案").arg(g.first_missing);
    else if (g.first_missing > 0)
        lacks << LoadText::tr("缺少第 %1 至 %2 道非选择题答案").arg(num(g.first_missing), num(g.last_missing));
    return lacks.join(LoadText::tr("；"));
}

// "张三、李四……" when more were left unnamed.
QString name_list(const QStringList &names, qint64 total)
{
    QString list = names.join(LoadText::tr("、"));
    if (total > names.size())
        list += LoadText::tr("……");
    return list;
}

const char *const save_as_utf8
    = QT_TRANSLATE_NOOP("velora", "请用记事本打开它，选择“文件”→“另存为”，在“编码”中选择 UTF-8，保存后重新导入。");

}  // namespace

QString sheet_gap_message(const SheetGap &g)
{
    const QString who = g.name.isEmpty() ? LoadText::tr("第 %1 名学生").arg(g.student) : g.name;
    return LoadText::tr("%1：%2").arg(who, sheet_lacks(g));
}

LoadNotice LoadNotice::of(NoticeKind kind, InputKind file, const QString &path)
{
    LoadNotice n;
    n.kind = kind;
    n.file = file;
    n.path = path;
    return n;
}

QString load_notice_message(const LoadNotice &n)
{
    const QString where = input_file_text(n.file, n.path);
    switch (n.kind) {
    case NoticeKind::not_utf8: {
        QString text = LoadText::tr("%1似乎不是 UTF-8 编码（可能是 GBK），其中的文字会显示成乱码。").arg(where);
        if (n.sheets_not_found > 0)
            text
                += LoadText::tr(
                       "学生名字不是 UTF-8，所以按这些名字找不到答卷文件：这就是下面 %1 名学生“找不到答卷文件”的原因。")
                       .arg(n.sheets_not_found);
        return text + LoadText::tr(save_as_utf8);
    }
    case NoticeKind::extra_names:
        return LoadText::tr("%1中的人数是 %2，后面却列出了 %3 个名字；只导入了前 %2 名学生，没有导入：%4。请核对人数。")
            .arg(where, num(n.count), num(n.listed), name_list(n.names, n.listed - n.count));
    case NoticeKind::sheets_not_utf8:
        break;
    }
    return LoadText::tr("以下 %1 名学生的答卷文件似乎不是 UTF-8 编码（可能是 GBK），答案会显示成乱码：%2。")
               .arg(num(n.listed), name_list(n.names, n.listed))
        + LoadText::tr(save_as_utf8);
}
