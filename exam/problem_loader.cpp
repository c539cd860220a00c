// The problem file loader.
#include "exam/problem_loader.h"

#include "exam/parse_steps.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace {

LoadError read_score(TextInput &in, int p, double &out)
{
    double v = 0.0;
    const LoadFault f = read_fault(read_real(in, v), in);
    if (f != LoadFault::none)
        return LoadError::in_item(f, LoadItem::max_score, p);
    const LoadFault range = !std::isfinite(v) ? LoadFault::out_of_range
        : v < 0                               ? LoadFault::negative
        : v > max_question_score              ? LoadFault::over_limit
                                              : LoadFault::none;
    out = v + 0.0;  // a written "-0" becomes 0
    return LoadError::in_item(range, LoadItem::max_score, p, v, static_cast<int>(max_question_score));
}

bool problem_is_utf8(const ParsedProblem &p)
{
    const int n = p.choice + p.written;
    for (int q = 1; q <= n; ++q)
        if (!is_utf8(p.text[q].bytes, static_cast<std::size_t>(p.text[q].len)))
            return false;
    return true;
}

class ProblemSteps : public LoadSteps {
public:
    LoadError parse(TextInput &in, const QByteArray &, const QString &) override { return parse_problem(in, *parsed_); }
    void staged_identity(ExamIdentity &id) const override
    {
        id.xuan_count = parsed_->choice;
        id.unxuan_count = parsed_->written;
        id.max_scores.clear();
        id.texts.clear();
        for (int p = 1; p <= parsed_->choice + parsed_->written; ++p) {
            id.max_scores << parsed_->score[p];
            id.texts << QByteArray(parsed_->text[p].bytes, parsed_->text[p].len);
        }
    }
    void commit(ExamStore &st, const QByteArray &local) override { commit_problem(st, *parsed_, local); }
    void tell(LoadReport &report, const QString &typed) const override
    {
        if (!problem_is_utf8(*parsed_))
            report.notices << LoadNotice::of(NoticeKind::not_utf8, InputKind::problem, typed);
    }

private:
    std::unique_ptr<ParsedProblem> parsed_ = std::make_unique<ParsedProblem>();
};

}  // namespace

LoadError parse_problem(TextInput &in, ParsedProblem &out)
{
    LoadError e = read_count(in, LoadItem::choice_count, limits::choice, out.choice);
    if (e.ok())
        e = read_count(in, LoadItem::written_count, limits::written, out.written);
    // At most limits::questions once both counts are within their caps.
    const int n = e.ok() ? out.choice + out.written : 0;
    for (int p = 1; e.ok() && p <= n; ++p)
        e = read_score(in, p, out.score[p]);
    if (!e.ok())
        return e;
    return read_texts_to_end(in, out.arena, LoadItem::question_text, n, out.text);
}

void commit_problem(ExamStore &st, const ParsedProblem &p, const QByteArray &local_path)
{
    store_path(st.pro_path, local_path);
    st.xuan_count = p.choice;
    st.unxuan_count = p.written;
    const int n = p.choice + p.written;
    for (int q = 1; q <= n; ++q) {
        st.pro_score[q] = p.score[q];
        put_staged_text(st.pro_text[q], st.pro_len[q], p.text[q]);
    }
}

LoadReport load_problem_file(ExamStore &st, const QString &path, const LoadOptions &options)
{
    return run_load(st, InputKind::problem, path, std::nullopt, ProblemSteps(), options);
}

LoadReport load_problem(ExamStore &st, const QByteArray &content, const QString &path, const LoadOptions &options)
{
    return run_load(st, InputKind::problem, path, content, ProblemSteps(), options);
}
