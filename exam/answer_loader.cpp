// The answer file loader: the choice key as one token, then one delimited
// standard answer per written question of the loaded problem file.
#include "exam/loaders.h"
#include "exam/text_input.h"

#include <QFile>

#include <cstring>
#include <memory>

namespace {

struct ParsedAnswers {
    char key[limits::name_bytes + 1] = {};
    int32_t key_len = 0;
    StagedText text[limits::written + 1];
    TextArena arena;
};

QString parse(TextInput &in, const QString &where, int written, ParsedAnswers &out)
{
    const QString read_failed = velora_tr("读取%1时出错。").arg(where);
    switch (read_token(in, out.key, limits::name_bytes, out.key_len)) {
    case ReadStatus::ok:
        break;
    case ReadStatus::too_long:
        return velora_tr("%1中的选择题答案超过 %2 字节。").arg(where, QString::number(limits::name_bytes));
    case ReadStatus::end:
    case ReadStatus::malformed:
    case ReadStatus::out_of_range:
        return in.failed() ? read_failed : velora_tr("%1中没有选择题答案。").arg(where);
    }
    for (int q = 1; q <= written; ++q) {
        const QString num = QString::number(q);
        char *cell = out.arena.cell();
        int32_t len = 0;
        switch (read_delimited_text(in, cell, len)) {
        case TextStatus::ok:
            break;
        case TextStatus::no_start:
            return velora_tr("%1在第 %2 道非选择题的标准答案之前就结束了（缺少“@”）。").arg(where, num);
        case TextStatus::unterminated:
            return velora_tr("%1中第 %2 道非选择题的标准答案没有结束（缺少“$”）。").arg(where, num);
        case TextStatus::too_long:
            return velora_tr("%1中第 %2 道非选择题的标准答案超过 %3 字节。")
                .arg(where, num, QString::number(limits::text_bytes));
        case TextStatus::read_error:
            return read_failed;
        }
        out.arena.keep(len);
        out.text[q] = StagedText{cell, len};
    }
    if (in.failed())
        return read_failed;
    return QString();
}

LoadResult load(ExamStore &st, TextInput &in, const QString &path, const QByteArray &local)
{
    // The count comes from the last problem file; the store only ever holds
    // checked counts, but a damaged one must not send writes past the table.
    const int written = st.unxuan_count > 0 ? st.unxuan_count : 0;
    if (written > limits::written)
        return refused(velora_tr("非选择题数量（%1）无效，请重新导入试题文件。").arg(written));

    const QString where = velora_tr("答案文件“%1”").arg(path);
    auto parsed = std::make_unique<ParsedAnswers>();
    const QString error = parse(in, where, written, *parsed);
    if (!error.isEmpty())
        return refused(error);

    // Commit: the key and its 0 byte (older bytes behind it stay), then the texts.
    std::memcpy(st.ans_path, local.constData(), static_cast<std::size_t>(local.size()) + 1);
    std::memcpy(st.ans_key, parsed->key, static_cast<std::size_t>(parsed->key_len) + 1);
    for (int q = 1; q <= written; ++q)
        put_text(st.ans_text[q], st.ans_len[q], parsed->text[q]);
    return LoadResult();
}

}  // namespace

LoadResult load_answer(ExamStore &st, const QByteArray &content, const QString &path)
{
    return load_from_bytes(velora_tr("答案文件"), path, content, [&](TextInput &in, const QByteArray &local) {
        return load(st, in, path, local);
    });
}

LoadResult load_answer_file(ExamStore &st, const QString &path)
{
    return load_from_file(velora_tr("答案文件"), path, [&](TextInput &in, const QByteArray &local) {
        return load(st, in, path, local);
    });
}
