// Choice scoring against the key, the totals, and the "%.2f" text of a score.
#include "marking/scoring.h"

#include <charconv>
#include <cstring>

QString format_score(double value)
{
    // The C "%.2f" rounding of the exact binary value, independent of the
    // user's locale; the largest double needs 313 characters.
    char buf[400];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
    if (r.ec != std::errc())
        return QString::asprintf("%.2f", value);
    return QString::fromLatin1(buf, int(r.ptr - buf));
}

void compute_scores(ExamStore &st)
{
    const int choice = st.xuan_count;
    const int questions = st.xuan_count + st.unxuan_count;
    // Key bytes behind the terminator belong to an older key and never count.
    const size_t key_len = strnlen(st.ans_key, sizeof st.ans_key);
    for (int s = 1; s <= st.stu_count; ++s) {
        for (int i = 0; i < choice; ++i) {
            const char answer = st.stu_xuan[s][i];
            const bool match = size_t(i) < key_len && answer != '\0' && answer == st.ans_key[i];
            st.stu_score[s][i + 1] = match ? st.pro_score[i + 1] : 0.0;
        }
        double total = 0.0;
        for (int p = 1; p <= questions; ++p)
            total += st.stu_score[s][p];
        st.stu_total[s] = total;
    }
}
