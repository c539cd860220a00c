// The answer file loader.
#include "exam/answer_loader.h"

#include "exam/parse_steps.h"

#include <cstring>
#include <memory>

namespace {

bool answer_is_utf8(const ParsedAnswer &a)
{
    if (!is_utf8(a.key, static_cast<std::size_t>(a.key_len)))
        return false;
    for (int q = 1; q <= a.written; ++q)
        if (!is_utf8(a.text[q].bytes, static_cast<std::size_t>(a.text[q].len)))
            return false;
    return true;
}

class AnswerSteps : public LoadSteps {
public:
    explicit AnswerSteps(int written) : written_(written) { }
    LoadError parse(TextInput &in, const QByteArray &, const QString &) override
    {
        return parse_answer(in, written_, *parsed_);
    }
    void commit(ExamStore &st, const QByteArray &local) override { commit_answer(st, *parsed_, local); }
    void tell(LoadReport &report, const QString &typed) const override
    {
        if (!answer_is_utf8(*parsed_))
            report.notices << LoadNotice::of(NoticeKind::not_utf8, InputKind::answer, typed);
    }

private:
    int written_;
    std::unique_ptr<ParsedAnswer> parsed_ = std::make_unique<ParsedAnswer>();
};

}  // namespace

LoadError parse_answer(TextInput &in, int written, ParsedAnswer &out)
{
    // The store only ever holds checked counts, but a damaged one must not
    // send writes past the table.
    out.written = written > 0 ? written : 0;
    if (out.written > limits::written)
        return LoadError::in_item(LoadFault::store_counts_invalid, LoadItem::written_count, 0, out.written);
    const LoadFault f = read_fault(read_token(in, out.key, limits::name_bytes, out.key_len), in);
    const LoadError e = LoadError::in_item(f, LoadItem::key, 0, 0, limits::name_bytes);
    if (!e.ok())
        return e;
    return read_texts_to_end(in, out.arena, LoadItem::standard_answer, out.written, out.text);
}

void commit_answer(ExamStore &st, const ParsedAnswer &a, const QByteArray &local_path)
{
    // The key and its 0 byte; older bytes behind it stay.
    store_path(st.ans_path, local_path);
    std::memcpy(st.ans_key, a.key, static_cast<std::size_t>(a.key_len) + 1);
    for (int q = 1; q <= a.written; ++q)
        put_staged_text(st.ans_text[q], st.ans_len[q], a.text[q]);
}

void forget_answers(ExamStore &st)
{
    st.ans_key[0] = 0;
    for (int q = 1; q <= qBound(0, st.unxuan_count, limits::written); ++q) {
        st.ans_text[q][0] = 0;
        st.ans_len[q] = 0;
    }
}

LoadReport load_answer_file(ExamStore &st, const QString &path, const LoadOptions &options)
{
    return run_load(st, InputKind::answer, path, std::nullopt, AnswerSteps(st.unxuan_count), options);
}

LoadReport load_answer(ExamStore &st, const QByteArray &content, const QString &path, const LoadOptions &options)
{
    return run_load(st, InputKind::answer, path, content, AnswerSteps(st.unxuan_count), options);
}
