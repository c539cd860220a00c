// The problem file loader: two counts, one maximum score per question, then
// one delimited text per question, choice questions first.
#include "exam/loaders.h"
#include "exam/parse_steps.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace {

LoadError read_score(TextInput &in, int p, double &out)
{
    double v = 0.0;
    LoadError e = item_error(read_fault(read_real(in, v), in), LoadItem::max_score, p);
    if (!e.ok())
        return e;
    e.value = v;
    e.limit = static_cast<int>(max_question_score);
    if (!std::isfinite(v))
        e.fault = LoadFault::out_of_range;
    else if (v < 0)
        e.fault = LoadFault::negative;
    else if (v > max_question_score)
        e.fault = LoadFault::over_limit;
    out = v + 0.0;  // a written "-0" becomes 0
    return e;
}

}  // namespace

LoadError parse_problem(TextInput &in, ParsedProblem &out)
{
    LoadError e = read_count(in, LoadItem::choice_count, limits::choice, out.xuan);
    if (e.ok())
        e = read_count(in, LoadItem::written_count, limits::written, out.unxuan);
    // At most limits::questions once both counts are within their caps.
    const int n = e.ok() ? out.xuan + out.unxuan : 0;
    for (int p = 1; e.ok() && p <= n; ++p)
        e = read_score(in, p, out.score[p]);
    for (int p = 1; e.ok() && p <= n; ++p)
        e = read_staged_text(in, out.arena, LoadItem::question_text, p, out.text[p]);
    if (e.ok())
        e = end_of_parse(in);
    e.file = InputKind::problem;
    return e;
}

void commit_problem(ExamStore &st, const ParsedProblem &p, const QByteArray &local_path)
{
    std::memcpy(st.pro_path, local_path.constData(), static_cast<std::size_t>(local_path.size()) + 1);
    st.xuan_count = p.xuan;
    st.unxuan_count = p.unxuan;
    const int n = p.xuan + p.unxuan;
    for (int q = 1; q <= n; ++q) {
        st.pro_score[q] = p.score[q];
        put_text(st.pro_text[q], st.pro_len[q], p.text[q]);
    }
}

bool problem_is_utf8(const ParsedProblem &p)
{
    const int n = p.xuan + p.unxuan;
    for (int q = 1; q <= n; ++q)
        if (!is_utf8(p.text[q].bytes, static_cast<std::size_t>(p.text[q].len)))
            return false;
    return true;
}

namespace {

void finish_load(ExamStore &st, const ParsedProblem &p, const QByteArray &local, const QString &path, LoadExtras *extras)
{
    if (extras && extras->before_commit)
        extras->before_commit();
    commit_problem(st, p, local);
    if (extras && !problem_is_utf8(p))
        extras->notices << not_utf8_notice(InputKind::problem, path);
}

}  // namespace

LoadError load_problem_file(ExamStore &st, const QString &path, LoadExtras *extras)
{
    InputFile f;
    LoadError e = open_input(InputKind::problem, path, f);
    if (!e.ok())
        return e;
    TextInput in(f.file);
    auto parsed = std::make_unique<ParsedProblem>();
    e = in_file(parse_problem(in, *parsed), InputKind::problem, path, &f.file);
    if (e.ok())
        finish_load(st, *parsed, f.local, path, extras);
    return e;
}

LoadError load_problem(ExamStore &st, const QByteArray &content, const QString &path, LoadExtras *extras)
{
    const QByteArray local = local_path_bytes(path);
    LoadError e = check_path(InputKind::problem, path, local);
    if (!e.ok())
        return e;
    TextInput in(content);
    auto parsed = std::make_unique<ParsedProblem>();
    e = in_file(parse_problem(in, *parsed), InputKind::problem, path);
    if (e.ok())
        finish_load(st, *parsed, local, path, extras);
    return e;
}
