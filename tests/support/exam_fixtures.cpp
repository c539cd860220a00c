// Filled stores and in-memory sheets for the loader tests.
#include "tests/support/exam_fixtures.h"

#include <QBuffer>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

RosterLoad load_roster_from(ExamStore &st, const QByteArray &roster, const QString &path, const SheetMap &sheets)
{
    RosterLoad out;
    const QByteArray local = local_path_bytes(path);
    out.error = check_path(InputKind::roster, path, local);
    if (!out.error.ok())
        return out;
    TextInput in(roster);
    auto parsed = std::make_unique<ParsedRoster>();
    out.error = in_file(parse_roster(in, st.xuan_count, st.unxuan_count, *parsed), InputKind::roster, path);
    if (out.error.ok())
        out.error = in_file(place_sheets(*parsed, local, path), InputKind::roster, path);
    const int count = static_cast<int>(parsed->students.size());
    for (int s = 1; out.error.ok() && s <= count; ++s) {
        // By the Unicode name, as the loader opens it: the local bytes may not spell it.
        const RosterStudent &stu = parsed->students[static_cast<std::size_t>(s - 1)];
        const auto it = stu.sheet_path.isEmpty() ? sheets.end() : sheets.find(stu.sheet_file.toUtf8());
        QBuffer sheet;
        if (it != sheets.end()) {
            sheet.setData(it.value());
            sheet.open(QIODevice::ReadOnly);
        }
        const OpenStatus opened = sheet.isOpen() ? OpenStatus::ok : OpenStatus::missing;
        out.error = in_file(read_sheet(*parsed, s, sheet.isOpen() ? &sheet : nullptr, opened), InputKind::roster, path);
    }
    if (!out.error.ok())
        return out;
    commit_roster(st, *parsed);
    out.gaps = parsed->gaps;
    out.notices = roster_notices(*parsed, path);
    return out;
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
        && load_roster_from(*st, "3 甲 乙 丙", QStringLiteral("/old/roster.txt"), sheets).error.ok();
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
    }
    return st;
}
