// The problem file loader: two counts, one maximum score per question, then
// one delimited text per question, choice questions first.
#include "exam/loaders.h"
#include "exam/text_input.h"

#include <QCoreApplication>
#include <QFile>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

struct ParsedProblems {
    int32_t xuan = 0;
    int32_t unxuan = 0;
    double score[limits::questions + 1] = {};
    StagedText text[limits::questions + 1];
    TextArena arena;
};

// Reads everything into `out`; returns the refusal, or an empty string.
QString parse(TextInput &in, const QString &where, ParsedProblems &out)
{
    const QString read_failed = velora_tr("读取%1时出错。").arg(where);
    const char *const count_names[2] = {QT_TRANSLATE_NOOP("velora", "选择题数量"),
                                        QT_TRANSLATE_NOOP("velora", "非选择题数量")};
    const int32_t caps[2] = {limits::choice, limits::written};
    int32_t counts[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        const QString what = velora_tr(count_names[i]);
        switch (read_int(in, counts[i])) {
        case ReadStatus::ok:
            break;
        case ReadStatus::end:
            return in.failed() ? read_failed : velora_tr("%1中缺少%2。").arg(where, what);
        case ReadStatus::out_of_range:
            return velora_tr("%1中的%2超出范围。").arg(where, what);
        case ReadStatus::malformed:
        case ReadStatus::too_long:
            return velora_tr("%1中的%2不是数字。").arg(where, what);
        }
        if (counts[i] < 0)
            return velora_tr("%1中的%2（%3）是负数。").arg(where, what, QString::number(counts[i]));
        if (counts[i] > caps[i])
            return velora_tr("%1中的%2（%3）超过上限 %4。")
                .arg(where, what, QString::number(counts[i]), QString::number(caps[i]));
    }
    out.xuan = counts[0];
    out.unxuan = counts[1];
    const int n = out.xuan + out.unxuan;  // at most limits::questions by the caps above

    for (int p = 1; p <= n; ++p) {
        const QString num = QString::number(p);
        double v = 0.0;
        switch (read_real(in, v)) {
        case ReadStatus::ok:
            break;
        case ReadStatus::end:
            return in.failed() ? read_failed : velora_tr("%1中缺少第 %2 题的最高分。").arg(where, num);
        case ReadStatus::out_of_range:
            return velora_tr("%1中第 %2 题的最高分超出范围。").arg(where, num);
        case ReadStatus::malformed:
        case ReadStatus::too_long:
            return velora_tr("%1中第 %2 题的最高分不是数字。").arg(where, num);
        }
        if (!std::isfinite(v))
            return velora_tr("%1中第 %2 题的最高分超出范围。").arg(where, num);
        if (v < 0)
            return velora_tr("%1中第 %2 题的最高分（%3）是负数。").arg(where, num, QString::number(v));
        if (v > max_question_score)
            return velora_tr("%1中第 %2 题的最高分（%3）超过上限 %4 分。")
                .arg(where, num, QString::number(v), QString::number(max_question_score));
        out.score[p] = v + 0.0;  // a written "-0" becomes 0
    }

    for (int p = 1; p <= n; ++p) {
        const QString num = QString::number(p);
        char *cell = out.arena.cell();
        int32_t len = 0;
        switch (read_delimited_text(in, cell, len)) {
        case TextStatus::ok:
            break;
        case TextStatus::no_start:
            return velora_tr("%1在第 %2 题的题目之前就结束了（缺少“@”）。").arg(where, num);
        case TextStatus::unterminated:
            return velora_tr("%1中第 %2 题的题目没有结束（缺少“$”）。").arg(where, num);
        case TextStatus::too_long:
            return velora_tr("%1中第 %2 题的题目超过 %3 字节。")
                .arg(where, num, QString::number(limits::text_bytes));
        case TextStatus::read_error:
            return read_failed;
        }
        out.arena.keep(len);
        out.text[p] = StagedText{cell, len};
    }
    if (in.failed())
        return read_failed;
    return QString();
}

LoadResult load(ExamStore &st, TextInput &in, const QString &path, const QByteArray &local)
{
    const QString where = velora_tr("试题文件“%1”").arg(path);
    auto parsed = std::make_unique<ParsedProblems>();
    const QString error = parse(in, where, *parsed);
    if (!error.isEmpty())
        return refused(error);

    // Commit: only now is the store written.
    std::memcpy(st.pro_path, local.constData(), static_cast<std::size_t>(local.size()) + 1);
    st.xuan_count = parsed->xuan;
    st.unxuan_count = parsed->unxuan;
    const int n = parsed->xuan + parsed->unxuan;
    for (int p = 1; p <= n; ++p) {
        st.pro_score[p] = parsed->score[p];
        put_text(st.pro_text[p], st.pro_len[p], parsed->text[p]);
    }
    return LoadResult();
}

}  // namespace

LoadResult load_problem(ExamStore &st, const QByteArray &content, const QString &path)
{
    return load_from_bytes(velora_tr("试题文件"), path, content, [&](TextInput &in, const QByteArray &local) {
        return load(st, in, path, local);
    });
}

LoadResult load_problem_file(ExamStore &st, const QString &path)
{
    return load_from_file(velora_tr("试题文件"), path, [&](TextInput &in, const QByteArray &local) {
        return load(st, in, path, local);
    });
}
