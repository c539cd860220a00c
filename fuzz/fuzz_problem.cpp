// Fuzz target: the problem-file loader on arbitrary bytes, checked against a
// plain model of the format and against the store's promises (a refusal
// changes nothing; a load keeps every count and text within capacity).
#include "fuzz/fuzz_store.h"

#include <cmath>
#include <vector>

namespace {

struct Expected {
    bool known = true;  // false when a score lies at the edge of double's range
    bool ok = false;
    int32_t choice = 0, written = 0;
    std::vector<double> score;
    std::vector<QByteArray> text;
};

Expected model(const QByteArray &raw)
{
    Expected e;
    bool damaged = false;
    fuzz::Reader r{fuzz::text_mode(raw, &damaged)};
    if (damaged)
        return e;  // damaged UTF-16 is refused wherever it lies
    if (r.integer(e.choice) != fuzz::Got::ok || e.choice < 0 || e.choice > limits::choice)
        return e;
    if (r.integer(e.written) != fuzz::Got::ok || e.written < 0 || e.written > limits::written)
        return e;
    const int n = e.choice + e.written;
    for (int p = 1; p <= n; ++p) {
        double v = 0;
        const fuzz::Got g = r.real(v);
        if (g == fuzz::Got::unsure) {
            e.known = false;
            return e;
        }
        if (g != fuzz::Got::ok || v < 0 || v > max_question_score)
            return e;
        e.score.push_back(v + 0.0);
    }
    for (int p = 1; p <= n; ++p) {
        QByteArray t;
        if (r.text(t) != fuzz::Reader::Text::ok)
            return e;
        e.text.push_back(t);
    }
    e.ok = true;
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    ExamStore &st = *fuzz::stores().work;
    const ExamStore &ref = *fuzz::stores().ref;

    const LoadReport r = load_problem(st, bytes, QStringLiteral("/题目/problem.txt"));
    const Expected e = model(bytes);
    if (e.known)
        FUZZ_CHECK(r.ok() == e.ok, load_error_message(r.error));
    static const QStringList owned = {"xuan_count", "unxuan_count", "pro_score", "pro_text", "pro_len", "pro_path"};
    const fuzz::Outcome o = fuzz::check_outcome(r.error, ref.xuan_count, ref.unxuan_count, owned);
    if (!o.ok)
        return fuzz::finish(o), 0;

    FUZZ_CHECK(st.xuan_count >= 0 && st.xuan_count <= limits::choice, QString::number(st.xuan_count));
    FUZZ_CHECK(st.unxuan_count >= 0 && st.unxuan_count <= limits::written, QString::number(st.unxuan_count));
    FUZZ_CHECK(fuzz::terminated(st.pro_path, sizeof st.pro_path), QString());
    FUZZ_CHECK(QByteArray(st.pro_path) == QStringLiteral("/题目/problem.txt").toUtf8(), QString());
    const int n = st.xuan_count + st.unxuan_count;
    for (int p = 1; p <= n; ++p) {
        fuzz::check_cell(st.pro_text[p], st.pro_len[p]);
        FUZZ_CHECK(std::isfinite(st.pro_score[p]) && st.pro_score[p] >= 0 && st.pro_score[p] <= max_question_score,
                   QString::number(st.pro_score[p]));
    }
    if (e.known) {
        FUZZ_CHECK(st.xuan_count == e.choice && st.unxuan_count == e.written, QString());
        for (int p = 1; p <= n; ++p) {
            FUZZ_CHECK(st.pro_score[p] == e.score[p - 1] && !std::signbit(st.pro_score[p]), QString::number(p));
            FUZZ_CHECK(fuzz::cell_bytes(st.pro_text[p], st.pro_len[p]) == e.text[p - 1], QString::number(p));
        }
    }
    fuzz::finish(o);
    return 0;
}
