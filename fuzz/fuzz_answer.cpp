// Fuzz target: the answer-file loader. The first byte picks how many written
// questions the store says the last problem file had (now and then a damaged
// count the loader must refuse); the rest is the answer file.
#include "fuzz/fuzz_store.h"

#include <vector>

namespace {

int32_t written_for(uint8_t b)
{
    if (b == 0xFF)
        return limits::written + 1 + (b & 7);  // damaged: beyond the table
    if (b == 0xFE)
        return -3;
    return b % (limits::written + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int32_t written = written_for(data[0]);
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), static_cast<int>(size - 1));
    ExamStore &st = *fuzz::stores().work;
    st.unxuan_count = written;
    const QByteArray old_key(st.ans_key, sizeof st.ans_key);

    const LoadReport r = load_answer(st, bytes, QStringLiteral("answer.txt"));

    // The model: a damaged count is refused; else the key, then `written` texts.
    bool expect_ok = written <= limits::written;
    QByteArray key;
    std::vector<QByteArray> texts;
    if (expect_ok) {
        bool damaged = false;
        fuzz::Reader rd{fuzz::text_mode(bytes, &damaged)};
        expect_ok = !damaged && rd.token(key) == fuzz::Got::ok && key.size() <= limits::name_bytes;
        for (int q = 1; expect_ok && q <= written; ++q) {
            QByteArray t;
            expect_ok = rd.text(t) == fuzz::Reader::Text::ok;
            texts.push_back(t);
        }
    }
    FUZZ_CHECK(r.ok() == expect_ok, load_error_message(r.error));
    static const QStringList owned = {"ans_key", "ans_text", "ans_len", "ans_path"};
    const fuzz::Outcome o = fuzz::check_outcome(r.error, fuzz::stores().ref->xuan_count, written, owned);
    if (!o.ok)
        return fuzz::finish(o), 0;

    FUZZ_CHECK(fuzz::terminated(st.ans_key, sizeof st.ans_key), QString());
    FUZZ_CHECK(fuzz::terminated(st.ans_path, sizeof st.ans_path), QString());
    FUZZ_CHECK(QByteArray(st.ans_path) == "answer.txt", QString());
    // The key and its 0 byte replace the front of the old key; what lies behind stays.
    FUZZ_CHECK(QByteArray(st.ans_key, key.size()) == key && st.ans_key[key.size()] == 0, QString());
    FUZZ_CHECK(std::memcmp(st.ans_key + key.size() + 1, old_key.constData() + key.size() + 1,
                           sizeof st.ans_key - key.size() - 1)
                   == 0,
               QString());
    for (int q = 1; q <= written; ++q) {
        fuzz::check_cell(st.ans_text[q], st.ans_len[q]);
        FUZZ_CHECK(fuzz::cell_bytes(st.ans_text[q], st.ans_len[q]) == texts[q - 1], QString::number(q));
    }
    fuzz::finish(o);
    return 0;
}
