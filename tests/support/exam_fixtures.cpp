// Filled stores and in-memory sheets for the loader tests.
#include "tests/support/exam_fixtures.h"

#include "exam/answer_loader.h"
#include "exam/problem_loader.h"
#include "exam/roster_loader.h"

#include <QBuffer>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

LoadOptions sheets_in_memory(const SheetMap &sheets)
{
    LoadOptions options;
    // By the Unicode name, as the loader opens it: the local bytes may not spell it.
    options.open_sheet = [sheets](const QString &name) {
        OpenedSheet out;
        const auto it = sheets.find(name.toUtf8());
        if (it == sheets.end())
            return out;
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(it.value());
        buffer->open(QIODevice::ReadOnly);
        out.status = OpenStatus::ok;
        out.device = std::move(buffer);
        return out;
    };
    return options;
}

ExamStorePtr prefilled_store()
{
    ExamStorePtr st = make_blank_store();
    const SheetMap sheets = {
        {"/old/甲", "AB\n@甲的第一题$@甲的第二题$"},
        {"/old/乙", "BA\n@乙1$@乙2$"},
        {"/old/丙", "AA\n@丙1$@丙2$"},
    };
    const bool ok = load_problem(*st, "2 2 1 1 5 5.5 @c1$@c2$@第一题$@第二题$", QStringLiteral("/old/problem.txt")).ok()
        && load_answer(*st, "AB @标准一$ @标准二$", QStringLiteral("/old/answer.txt")).ok()
        && load_roster(*st, "3 甲 乙 丙", QStringLiteral("/old/roster.txt"), sheets_in_memory(sheets)).ok();
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

ExamStorePtr store_with(const char *key, const std::vector<double> &maxima, int choice,
                        const std::vector<FixtureStudent> &students)
{
    ExamStorePtr st = make_blank_store();
    st->xuan_count = choice;
    st->unxuan_count = int(maxima.size()) - choice;
    std::strcpy(st->ans_key, key);
    for (size_t p = 0; p < maxima.size(); ++p)
        st->pro_score[p + 1] = maxima[p];
    st->stu_count = int(students.size());
    for (size_t i = 0; i < students.size(); ++i) {
        const int s = int(i) + 1;
        std::strcpy(st->stu_name[s], students[i].name);
        std::memcpy(st->stu_xuan[s], students[i].choices, std::min(size_t(choice), std::strlen(students[i].choices)));
        for (size_t q = 0; q < students[i].marks.size(); ++q)
            st->stu_score[s][choice + int(q) + 1] = students[i].marks[q];
        st->stu_absent[s] = students[i].absent;
    }
    return st;
}

LoadOptions holding_load(LoadOptions options, ExamIdentity &asked, bool &before_commit_ran)
{
    options.before_commit = [&before_commit_ran] { before_commit_ran = true; };
    options.accept_exam = [&asked](const ExamIdentity &next) {
        asked = next;
        return false;
    };
    return options;
}
