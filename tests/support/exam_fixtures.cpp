// Filled stores and in-memory sheets for the loader tests.
#include "tests/support/exam_fixtures.h"

#include <QBuffer>

#include <memory>
#include <stdexcept>

SheetOpener memory_sheets(const SheetMap &sheets)
{
    return [sheets](const QByteArray &path) {
        SheetInput in;
        const auto it = sheets.find(path);
        if (it == sheets.end()) {
            in.problem = QStringLiteral("找不到答卷文件");
            return in;
        }
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(it.value());
        buffer->open(QIODevice::ReadOnly);
        in.device = std::move(buffer);
        return in;
    };
}

ExamStorePtr prefilled_store()
{
    ExamStorePtr st = make_blank_store();
    const SheetMap sheets = {
        {"/old/甲", "AB\n@甲的第一题$@甲的第二题$"},
        {"/old/乙", "BA\n@乙1$@乙2$"},
        {"/old/丙", "AA\n@丙1$@丙2$"},
    };
    const bool ok = load_problem(*st, "2 2 1 1 5 5.5 @c1$@c2$@第一题$@第二题$", QStringLiteral("/old/problem.txt")).ok
        && load_answer(*st, "AB @标准一$ @标准二$", QStringLiteral("/old/answer.txt")).ok
        && load_roster(*st, "3 甲 乙 丙", QStringLiteral("/old/roster.txt"), memory_sheets(sheets)).ok;
    if (!ok)
        throw std::logic_error("prefilled_store: a fixture load was refused");
    for (int s = 1; s <= 3; ++s) {
        st->stu_score[s][3] = s;
        st->stu_score[s][4] = 0.5 * s;
        st->stu_total[s] = 10 + s;
    }
    st->cur_stu = 2;
    st->cur_pro = 1;
    st->mark_steps = 6;
    st->tongji_done = true;
    return st;
}
