// The roster and answer sheet loader: the student count and names from the
// roster, then each student's sheet from the roster's directory: xuan_count raw
// choice bytes from the start, then one delimited text per written question.
#include "exam/loaders.h"
#include "exam/text_input.h"

#include <QFile>
#include <QVector>

#include <cstring>
#include <memory>
#include <vector>

namespace {

struct StagedStudent {
    char name[limits::name_bytes + 1] = {};
    int32_t name_len = 0;
    char xuan[limits::choice] = {};  // a choice answer the sheet lacks stays 0 and never matches a key
    QByteArray sheet_path;           // empty when the name cannot name a file
};

struct ParsedRoster {
    std::vector<StagedStudent> students;  // student s at s - 1
    std::vector<StagedText> texts;        // (s, q) at (s - 1) * written + q - 1
    TextArena arena;
    QStringList problems;
};

// A name leads to a file only inside the roster's directory: no separator, and
// not the directory itself or its parent.
bool usable_as_file_name(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && name != QLatin1String(".") && name != QLatin1String("..");
}

QString written_range(int from, int to)
{
    if (from == to)
        return velora_tr("缺少第 %1 道非选择题答案").arg(from);
    return velora_tr("缺少第 %1 至 %2 道非选择题答案").arg(QString::number(from), QString::number(to));
}

QString parse_roster(TextInput &in, const QString &where, ParsedRoster &out)
{
    const QString read_failed = velora_tr("读取%1时出错。").arg(where);
    int32_t count = 0;
    switch (read_int(in, count)) {
    case ReadStatus::ok:
        break;
    case ReadStatus::end:
        return in.failed() ? read_failed : velora_tr("%1中缺少学生人数。").arg(where);
    case ReadStatus::out_of_range:
        return velora_tr("%1中的学生人数超出范围。").arg(where);
    case ReadStatus::malformed:
    case ReadStatus::too_long:
        return velora_tr("%1中的学生人数不是数字。").arg(where);
    }
    if (count < 0)
        return velora_tr("%1中的学生人数（%2）是负数。").arg(where, QString::number(count));
    if (count > limits::students)
        return velora_tr("%1中的学生人数（%2）超过上限 %3。")
            .arg(where, QString::number(count), QString::number(limits::students));

    out.students.resize(static_cast<std::size_t>(count));
    for (int s = 1; s <= count; ++s) {
        StagedStudent &stu = out.students[static_cast<std::size_t>(s - 1)];
        switch (read_token(in, stu.name, limits::name_bytes, stu.name_len)) {
        case ReadStatus::ok:
            break;
        case ReadStatus::too_long:
            return velora_tr("%1中第 %2 名学生的名字超过 %3 字节。")
                .arg(where, QString::number(s), QString::number(limits::name_bytes));
        case ReadStatus::end:
        case ReadStatus::malformed:
        case ReadStatus::out_of_range:
            return in.failed() ? read_failed
                               : velora_tr("%1在第 %2 名学生的名字之前就结束了（人数为 %3）。")
                                     .arg(where, QString::number(s), QString::number(count));
        }
    }
    if (in.failed())
        return read_failed;
    return QString();
}

// Reads one sheet into the staged student and texts. Returns a refusal of the
// whole load (a text over capacity), else an empty string; what the sheet
// lacks goes into `lacks`.
QString read_sheet(TextInput &in, const QString &who, int choice, int written, StagedStudent &stu,
                   StagedText *texts, TextArena &arena, QStringList &lacks)
{
    int k = 0;
    for (; k < choice; ++k) {
        const int c = in.get();
        if (c < 0)
            break;
        stu.xuan[k] = static_cast<char>(c);
    }
    if (k < choice && !in.failed())
        lacks << velora_tr("选择题答案不完整（只有 %1 个，应有 %2 个）").arg(QString::number(k), QString::number(choice));
    for (int q = 1; q <= written && !in.failed(); ++q) {
        char *cell = arena.cell();
        int32_t len = 0;
        const TextStatus status = read_delimited_text(in, cell, len);
        if (status == TextStatus::ok) {
            arena.keep(len);
            texts[q - 1] = StagedText{cell, len};
            continue;
        }
        if (status == TextStatus::too_long)
            return velora_tr("学生“%1”的答卷文件“%2”中第 %3 道非选择题答案超过 %4 字节。")
                .arg(who, QFile::decodeName(stu.sheet_path), QString::number(q), QString::number(limits::text_bytes));
        if (status == TextStatus::unterminated) {
            lacks << velora_tr("第 %1 道非选择题答案不完整").arg(q);
            if (q < written)
                lacks << written_range(q + 1, written);
        } else if (status == TextStatus::no_start) {
            lacks << written_range(q, written);
        }
        break;  // the sheet has ended
    }
    if (in.failed()) {
        // A sheet that cannot be read to its end is not trusted at all.
        std::memset(stu.xuan, 0, sizeof stu.xuan);
        for (int q = 1; q <= written; ++q)
            texts[q - 1] = StagedText();
        lacks = QStringList{velora_tr("读取答卷文件时出错")};
    }
    return QString();
}

LoadResult load(ExamStore &st, TextInput &roster_in, const QString &path, const QByteArray &local,
                const SheetOpener &open_sheet)
{
    // The counts come from the last problem file; the store only ever holds
    // checked counts, but damaged ones must not send writes past the tables.
    const int choice = st.xuan_count > 0 ? st.xuan_count : 0;
    const int written = st.unxuan_count > 0 ? st.unxuan_count : 0;
    if (choice > limits::choice || written > limits::written)
        return refused(velora_tr("试题数量无效，请重新导入试题文件。"));

    const QString where = velora_tr("学生名单文件“%1”").arg(path);
    auto parsed = std::make_unique<ParsedRoster>();
    const QString error = parse_roster(roster_in, where, *parsed);
    if (!error.isEmpty())
        return refused(error);

    // The sheets lie in the roster's directory: everything up to and including
    // its last "/" or "\"; with neither, the working directory.
    int sep = local.size() - 1;
    while (sep >= 0 && local[sep] != '/' && local[sep] != '\\')
        --sep;
    const QByteArray dir = local.left(sep + 1);

    const int count = static_cast<int>(parsed->students.size());
    QVector<QString> display(count);
    for (int s = 1; s <= count; ++s) {
        StagedStudent &stu = parsed->students[static_cast<std::size_t>(s - 1)];
        const QString name = QString::fromUtf8(stu.name);  // up to the first 0 byte
        display[s - 1] = name.isEmpty() ? velora_tr("第 %1 名学生").arg(s) : name;
        if (!usable_as_file_name(name))
            continue;
        stu.sheet_path = dir + name.toLocal8Bit();
        if (stu.sheet_path.size() > limits::path_bytes)
            return refused(velora_tr("%1中学生“%2”的答卷文件路径太长（超过 %3 字节）。")
                               .arg(where, display[s - 1], QString::number(limits::path_bytes)));
    }

    parsed->texts.resize(static_cast<std::size_t>(count) * static_cast<std::size_t>(written));
    QByteArray last_path = local;
    for (int s = 1; s <= count; ++s) {
        StagedStudent &stu = parsed->students[static_cast<std::size_t>(s - 1)];
        StagedText *texts = parsed->texts.data() + static_cast<std::size_t>(s - 1) * written;
        const QString &who = display[s - 1];
        if (stu.sheet_path.isEmpty()) {
            parsed->problems << velora_tr("%1：名字含有“/”或“\\”，或者是“.”“..”，不能用作答卷文件名").arg(who);
            continue;
        }
        last_path = stu.sheet_path;
        SheetInput sheet = open_sheet(stu.sheet_path);
        if (!sheet.device) {
            parsed->problems << velora_tr("%1：%2").arg(who, sheet.problem);
            continue;
        }
        TextInput in(*sheet.device);
        QStringList lacks;
        const QString refusal = read_sheet(in, who, choice, written, stu, texts, parsed->arena, lacks);
        if (!refusal.isEmpty())
            return refused(refusal);
        if (!lacks.isEmpty())
            parsed->problems << velora_tr("%1：%2").arg(who, lacks.join(velora_tr("；")));
    }

    // Commit: counts, names, choice bytes and texts of the students read.
    st.stu_count = count;
    for (int s = 1; s <= count; ++s) {
        const StagedStudent &stu = parsed->students[static_cast<std::size_t>(s - 1)];
        std::memcpy(st.stu_name[s], stu.name, static_cast<std::size_t>(stu.name_len) + 1);
        std::memcpy(st.stu_xuan[s], stu.xuan, static_cast<std::size_t>(choice));
        const StagedText *texts = parsed->texts.data() + static_cast<std::size_t>(s - 1) * written;
        for (int q = 1; q <= written; ++q)
            put_text(st.stu_text[s][q], st.stu_len[s][q], texts[q - 1]);
    }
    std::memcpy(st.stu_path, last_path.constData(), static_cast<std::size_t>(last_path.size()) + 1);

    LoadResult r;
    r.sheet_problems = parsed->problems;
    return r;
}

}  // namespace

SheetInput open_sheet_file(const QByteArray &sheet_path)
{
    SheetInput sheet;
    auto file = std::make_unique<QFile>();
    switch (open_input_file(*file, sheet_path)) {
    case OpenStatus::ok:
        sheet.device = std::move(file);
        break;
    case OpenStatus::missing:
        sheet.problem = velora_tr("找不到答卷文件");
        break;
    case OpenStatus::not_a_file:
        sheet.problem = velora_tr("答卷文件不是普通文件");
        break;
    case OpenStatus::unreadable:
        sheet.problem = velora_tr("无法打开答卷文件");
        break;
    }
    return sheet;
}

LoadResult load_roster(ExamStore &st, const QByteArray &roster, const QString &path,
                       const SheetOpener &open_sheet)
{
    return load_from_bytes(velora_tr("学生名单文件"), path, roster, [&](TextInput &in, const QByteArray &local) {
        return load(st, in, path, local, open_sheet);
    });
}

LoadResult load_roster(ExamStore &st, const QString &path)
{
    return load_from_file(velora_tr("学生名单文件"), path, [&](TextInput &in, const QByteArray &local) {
        return load(st, in, path, local, open_sheet_file);
    });
}
