// The answer file loader: the choice key as one token, then one delimited
// standard answer per written question of the loaded problem file.
#include "exam/loaders.h"
#include "exam/parse_steps.h"

#include <cstring>
#include <memory>

LoadError parse_answer(TextInput &in, int written, ParsedAnswer &out)
{
    // The store only ever holds checked counts, but a damaged one must not
    // send writes past the table.
    out.written = written > 0 ? written : 0;
    LoadError e;
    if (out.written > limits::written) {
        e = item_error(LoadFault::store_counts_invalid, LoadItem::written_count);
        e.value = out.written;
    } else {
        e = item_error(read_fault(read_token(in, out.key, limits::name_bytes, out.key_len), in), LoadItem::key);
        e.limit = limits::name_bytes;
    }
    for (int q = 1; e.ok() && q <= out.written; ++q)
        e = read_staged_text(in, out.arena, LoadItem::standard_answer, q, out.text[q]);
    if (e.ok())
        e = end_of_parse(in);
    e.file = InputKind::answer;
    return e;
}

void commit_answer(ExamStore &st, const ParsedAnswer &a, const QByteArray &local_path)
{
    // The key and its 0 byte; older bytes behind it stay.
    std::memcpy(st.ans_path, local_path.constData(), static_cast<std::size_t>(local_path.size()) + 1);
    std::memcpy(st.ans_key, a.key, static_cast<std::size_t>(a.key_len) + 1);
    for (int q = 1; q <= a.written; ++q)
        put_text(st.ans_text[q], st.ans_len[q], a.text[q]);
}

bool answer_is_utf8(const ParsedAnswer &a)
{
    if (!is_utf8(a.key, static_cast<std::size_t>(a.key_len)))
        return false;
    for (int q = 1; q <= a.written; ++q)
        if (!is_utf8(a.text[q].bytes, static_cast<std::size_t>(a.text[q].len)))
            return false;
    return true;
}

namespace {

void finish_load(ExamStore &st, const ParsedAnswer &a, const QByteArray &local, const QString &path, LoadExtras *extras)
{
    if (extras && extras->before_commit)
        extras->before_commit();
    commit_answer(st, a, local);
    if (extras && !answer_is_utf8(a))
        extras->notices << not_utf8_notice(InputKind::answer, path);
}

}  // namespace

LoadError load_answer_file(ExamStore &st, const QString &path, LoadExtras *extras)
{
    InputFile f;
    LoadError e = open_input(InputKind::answer, path, f);
    if (!e.ok())
        return e;
    TextInput in(f.file);
    auto parsed = std::make_unique<ParsedAnswer>();
    e = in_file(parse_answer(in, st.unxuan_count, *parsed), InputKind::answer, path, &f.file);
    if (e.ok())
        finish_load(st, *parsed, f.local, path, extras);
    return e;
}

LoadError load_answer(ExamStore &st, const QByteArray &content, const QString &path, LoadExtras *extras)
{
    const QByteArray local = local_path_bytes(path);
    LoadError e = check_path(InputKind::answer, path, local);
    if (!e.ok())
        return e;
    TextInput in(content);
    auto parsed = std::make_unique<ParsedAnswer>();
    e = in_file(parse_answer(in, st.unxuan_count, *parsed), InputKind::answer, path);
    if (e.ok())
        finish_load(st, *parsed, local, path, extras);
    return e;
}
