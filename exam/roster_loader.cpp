// The roster and answer sheet loader.
#include "exam/roster_loader.h"

#include "exam/parse_steps.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// A name leads to a file only inside the roster's directory: no separator, and
// not the directory itself or its parent.
bool usable_as_file_name(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && name != QLatin1String(".") && name != QLatin1String("..");
}

SheetFault sheet_fault(OpenStatus opened)
{
    switch (opened) {
    case OpenStatus::not_regular:
        return SheetFault::not_regular;
    case OpenStatus::unopenable:
        return SheetFault::unopenable;
    case OpenStatus::ok:
    case OpenStatus::missing:
        break;
    }
    return SheetFault::missing;
}

// Names listed after the count's last one: how many, and the first few.
void count_extra_names(TextInput &in, ParsedRoster &out)
{
    char name[limits::name_bytes + 1];
    for (;;) {
        int32_t len = 0;
        const ReadStatus got = read_token(in, name, limits::name_bytes, len);
        if (got == ReadStatus::end)
            return;
        if (got == ReadStatus::over_limit) {
            while (in.peek() >= 0 && !is_space_byte(in.peek()))
                in.get();
        }
        ++out.extra_names;
        if (out.left_out.size() < roster_left_out_kept)
            out.left_out << QByteArray(name, len);
    }
}

LoadError read_names(TextInput &in, ParsedRoster &out)
{
    const int count = static_cast<int>(out.students.size());
    for (int s = 1; s <= count; ++s) {
        RosterStudent &student = out.students[static_cast<std::size_t>(s - 1)];
        LoadFault f = read_fault(read_token(in, student.name, limits::name_bytes, student.name_len), in);
        if (f == LoadFault::none)
            continue;
        if (f != LoadFault::over_limit && !in.failed())
            f = LoadFault::ends_early;
        return LoadError::in_item(f, LoadItem::student_name, s, count, limits::name_bytes);
    }
    count_extra_names(in, out);
    return end_of_parse(in);
}

// The choice bytes from the very start of the sheet; how many there were.
int read_choices(TextInput &in, int choice, RosterStudent &student)
{
    int k = 0;
    for (; k < choice; ++k) {
        const int c = in.get();
        if (c < 0)
            break;
        student.choice[k] = static_cast<char>(c);
    }
    return k;
}

// The written answers; what the sheet lacks goes into gap, an answer beyond
// capacity refuses the load.
LoadError read_answers(TextInput &in, ParsedRoster &r, int s, SheetGap &gap)
{
    StagedText *texts = r.texts.data() + static_cast<std::size_t>(s - 1) * r.written;
    for (int q = 1; q <= r.written && !in.failed(); ++q) {
        LoadError e = read_staged_text(in, r.arena, LoadItem::sheet_answer, q, texts[q - 1]);
        if (e.ok())
            continue;
        if (e.fault == LoadFault::over_limit) {
            // Damaged UTF-16 makes the sheet a gap however long its texts, wherever the damage lies.
            in.check_to_end();
            if (in.damage() != Utf16Damage::none)
                break;
            const RosterStudent &student = r.students[static_cast<std::size_t>(s - 1)];
            return LoadError::sheet_answer_over_limit(gap.name, student.sheet_file, q);
        }
        // An unterminated answer is kept as missing; the ones after it are missing too.
        const int next = e.fault == LoadFault::unterminated ? q + 1 : q;
        if (e.fault == LoadFault::unterminated)
            gap.unterminated = q;
        if (!in.failed() && next <= r.written) {
            gap.first_missing = next;
            gap.last_missing = r.written;
        }
        break;  // the sheet has ended
    }
    return LoadError();
}

bool lacks_anything(const SheetGap &g)
{
    return g.fault != SheetFault::incomplete || g.choices_read < g.choices_wanted || g.unterminated > 0
        || g.first_missing > 0;
}

}  // namespace

LoadError parse_roster(TextInput &in, int choice, int written, ParsedRoster &out)
{
    // The store only ever holds checked counts, but damaged ones must not send
    // writes past the tables.
    out.choice = choice > 0 ? choice : 0;
    out.written = written > 0 ? written : 0;
    if (out.choice > limits::choice || out.written > limits::written)
        return LoadError::of(LoadFault::store_counts_invalid);
    int32_t count = 0;
    LoadError e = read_count(in, LoadItem::student_count, limits::students, count);
    if (e.ok()) {
        out.students.resize(static_cast<std::size_t>(count));
        e = read_names(in, out);
    }
    return e;
}

void commit_roster(ExamStore &st, const ParsedRoster &r)
{
    const int count = static_cast<int>(r.students.size());
    st.stu_count = count;
    for (int s = 1; s <= count; ++s) {
        const RosterStudent &student = r.students[static_cast<std::size_t>(s - 1)];
        std::memcpy(st.stu_name[s], student.name, static_cast<std::size_t>(student.name_len) + 1);
        std::memcpy(st.stu_xuan[s], student.choice, static_cast<std::size_t>(r.choice));
        const StagedText *texts = r.texts.data() + static_cast<std::size_t>(s - 1) * r.written;
        for (int q = 1; q <= r.written; ++q)
            put_staged_text(st.stu_text[s][q], st.stu_len[s][q], texts[q - 1]);
    }
    store_path(st.stu_path, r.last_path);
}

void forget_sheets(ExamStore &st)
{
    const int written = qBound(0, st.unxuan_count, limits::written);
    for (int s = 1; s <= qBound(0, st.stu_count, limits::students); ++s) {
        std::memset(st.stu_xuan[s], 0, sizeof st.stu_xuan[s]);
        for (int q = 1; q <= written; ++q) {
            st.stu_text[s][q][0] = 0;
            st.stu_len[s][q] = 0;
        }
    }
}

namespace {

// Each student's sheet path in the roster's directory: as local 8-bit bytes
// for the store, and as the typed directory joined with the name decoded as
// UTF-8 for opening. Refuses a sheet path longer than limits::path_bytes.
LoadError place_sheets(ParsedRoster &r, const QByteArray &roster_local, const QString &typed)
{
    int sep = roster_local.size() - 1;
    while (sep >= 0 && roster_local[sep] != '/' && roster_local[sep] != '\\')
        --sep;
    const QByteArray dir = roster_local.left(sep + 1);
    // The same directory as text, to open the sheets by their Unicode names.
    int text_sep = typed.size() - 1;
    while (text_sep >= 0 && typed[text_sep] != QLatin1Char('/') && typed[text_sep] != QLatin1Char('\\'))
        --text_sep;
    const QString text_dir = typed.left(text_sep + 1);
    r.last_path = roster_local;
    r.texts.assign(r.students.size() * static_cast<std::size_t>(r.written), StagedText());
    for (RosterStudent &student : r.students) {
        const QString name = QString::fromUtf8(student.name);  // up to the first 0 byte
        if (!usable_as_file_name(name))
            continue;
        student.sheet_path = dir + name.toLocal8Bit();
        student.sheet_file = text_dir + name;
        if (student.sheet_path.size() > limits::path_bytes)
            return LoadError::sheet_path_over_limit(name);
    }
    return LoadError();
}

// Student s's sheet: `sheet` open for reading, or null when it could not be
// opened, then `opened` says why. What the sheet lacks goes into r.gaps; only
// an answer beyond capacity refuses the load.
LoadError read_answer_sheet(ParsedRoster &r, int s, QIODevice *sheet, OpenStatus opened)
{
    RosterStudent &student = r.students[static_cast<std::size_t>(s - 1)];
    SheetGap gap;
    gap.student = s;
    gap.name = QString::fromUtf8(student.name);
    if (student.sheet_path.isEmpty()) {
        gap.fault = SheetFault::unusable_name;
        r.gaps << gap;
        return LoadError();
    }
    r.last_path = student.sheet_path;
    if (!sheet) {
        gap.fault = sheet_fault(opened);
        r.gaps << gap;
        return LoadError();
    }
    TextInput in(*sheet);
    gap.choices_wanted = r.choice;
    gap.choices_read = read_choices(in, r.choice, student);
    const LoadError e = read_answers(in, r, s, gap);
    if (!e.ok())
        return e;
    in.check_to_end();
    StagedText *texts = r.texts.data() + static_cast<std::size_t>(s - 1) * r.written;
    if (in.failed()) {
        // A sheet that cannot be read to its end is not trusted at all.
        std::memset(student.choice, 0, sizeof student.choice);
        std::fill(texts, texts + r.written, StagedText());
        const Utf16Damage d = in.damage();
        const SheetFault f = d == Utf16Damage::odd_length ? SheetFault::utf16_odd_length
            : d == Utf16Damage::unpaired_surrogate        ? SheetFault::utf16_unpaired_surrogate
                                                          : SheetFault::read_failed;
        gap = SheetGap{s, gap.name, f};
    } else {
        // Only the texts: the choice bytes may cut a character of a UTF-8 sheet.
        bool utf8 = true;
        for (int q = 0; utf8 && q < r.written; ++q)
            utf8 = is_utf8(texts[q].bytes, static_cast<std::size_t>(texts[q].len));
        if (!utf8)
            r.non_utf8_sheets << s;
    }
    if (lacks_anything(gap))
        r.gaps << gap;
    return LoadError();
}

// What a successful roster load has to tell: names not UTF-8, names beyond
// the count, sheets not UTF-8. path: as typed.
QVector<LoadNotice> roster_notices(const ParsedRoster &r, const QString &path)
{
    QVector<LoadNotice> out;
    bool names_utf8 = true;
    for (const RosterStudent &student : r.students)
        names_utf8 = names_utf8 && is_utf8(student.name, static_cast<std::size_t>(student.name_len));
    if (!names_utf8) {
        LoadNotice n = LoadNotice::of(NoticeKind::not_utf8, InputKind::roster, path);
        for (const SheetGap &g : r.gaps) {
            const RosterStudent &student = r.students[static_cast<std::size_t>(g.student - 1)];
            if (g.fault == SheetFault::missing && !is_utf8(student.name, static_cast<std::size_t>(student.name_len)))
                ++n.sheets_not_found;
        }
        out << n;
    }
    if (r.extra_names > 0) {
        LoadNotice n = LoadNotice::of(NoticeKind::extra_names, InputKind::roster, path);
        n.count = static_cast<qint64>(r.students.size());
        n.listed = n.count + r.extra_names;
        for (const QByteArray &name : r.left_out)
            n.names << QString::fromUtf8(name);
        out << n;
    }
    if (!r.non_utf8_sheets.isEmpty()) {
        LoadNotice n = LoadNotice::of(NoticeKind::sheets_not_utf8, InputKind::roster, path);
        n.listed = r.non_utf8_sheets.size();
        for (int s : r.non_utf8_sheets) {
            if (n.names.size() == roster_left_out_kept)
                break;
            const RosterStudent &student = r.students[static_cast<std::size_t>(s - 1)];
            n.names << QString::fromUtf8(student.name, student.name_len);
        }
        out << n;
    }
    return out;
}

class RosterSteps : public LoadSteps {
public:
    RosterSteps(const ExamStore &st, const LoadOptions &options)
        : choice_(st.xuan_count),
          written_(st.unxuan_count),
          open_sheet_(options.open_sheet ? options.open_sheet : SheetOpener(open_sheet_file))
    { }
    LoadError parse(TextInput &in, const QByteArray &local, const QString &typed) override
    {
        LoadError e = parse_roster(in, choice_, written_, *parsed_);
        if (e.ok())
            e = place_sheets(*parsed_, local, typed);
        const int count = static_cast<int>(parsed_->students.size());
        for (int s = 1; e.ok() && s <= count; ++s) {
            const RosterStudent &student = parsed_->students[static_cast<std::size_t>(s - 1)];
            const OpenedSheet sheet = student.sheet_path.isEmpty() ? OpenedSheet() : open_sheet_(student.sheet_file);
            QIODevice *device = sheet.status == OpenStatus::ok ? sheet.device.get() : nullptr;
            e = read_answer_sheet(*parsed_, s, device, sheet.status);
        }
        return e;
    }
    void staged_identity(ExamIdentity &id) const override
    {
        id.names.clear();
        for (const RosterStudent &student : parsed_->students)
            id.names << identity_name(student.name);
    }
    void commit(ExamStore &st, const QByteArray &) override { commit_roster(st, *parsed_); }
    void tell(LoadReport &report, const QString &typed) const override
    {
        report.gaps = parsed_->gaps;
        report.notices = roster_notices(*parsed_, typed);
    }

private:
    int choice_;
    int written_;
    SheetOpener open_sheet_;
    std::unique_ptr<ParsedRoster> parsed_ = std::make_unique<ParsedRoster>();
};

}  // namespace

LoadReport load_roster_file(ExamStore &st, const QString &path, const LoadOptions &options)
{
    return run_load(st, InputKind::roster, path, std::nullopt, RosterSteps(st, options), options);
}

LoadReport load_roster(ExamStore &st, const QByteArray &content, const QString &path, const LoadOptions &options)
{
    return run_load(st, InputKind::roster, path, content, RosterSteps(st, options), options);
}
