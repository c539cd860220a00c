// The roster and answer sheet loader: the student count and names from the
// roster, then each student's sheet from the roster's directory: xuan_count raw
// choice bytes from the start, then one delimited text per written question.
#include "exam/loaders.h"
#include "exam/parse_steps.h"

#include <QFile>
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
    case OpenStatus::not_a_file:
        return SheetFault::not_regular;
    case OpenStatus::unreadable:
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
        if (got == ReadStatus::too_long) {
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
        RosterStudent &stu = out.students[static_cast<std::size_t>(s - 1)];
        LoadError e = item_error(read_fault(read_token(in, stu.name, limits::name_bytes, stu.name_len), in),
                                 LoadItem::student_name, s);
        if (!e.ok()) {
            if (e.fault != LoadFault::over_limit && !in.failed())
                e.fault = LoadFault::missing;
            e.value = count;
            e.limit = limits::name_bytes;
            return e;
        }
    }
    count_extra_names(in, out);
    return end_of_parse(in);
}

// The choice bytes from the very start of the sheet; how many there were.
int read_choices(TextInput &in, int choice, RosterStudent &stu)
{
    int k = 0;
    for (; k < choice; ++k) {
        const int c = in.get();
        if (c < 0)
            break;
        stu.xuan[k] = static_cast<char>(c);
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
            const RosterStudent &stu = r.students[static_cast<std::size_t>(s - 1)];
            e.file = InputKind::roster;
            e.student = gap.name;
            e.sheet = stu.sheet_file;
            return e;
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
    LoadError e;
    e.file = InputKind::roster;
    if (out.choice > limits::choice || out.written > limits::written) {
        e.fault = LoadFault::store_counts_invalid;
        return e;
    }
    int32_t count = 0;
    e = read_count(in, LoadItem::student_count, limits::students, count);
    if (e.ok()) {
        out.students.resize(static_cast<std::size_t>(count));
        e = read_names(in, out);
    }
    e.file = InputKind::roster;
    return e;
}

LoadError place_sheets(ParsedRoster &r, const QByteArray &roster_local, const QString &roster_typed)
{
    int sep = roster_local.size() - 1;
    while (sep >= 0 && roster_local[sep] != '/' && roster_local[sep] != '\\')
        --sep;
    const QByteArray dir = roster_local.left(sep + 1);
    // The same directory as text, to open the sheets by their Unicode names.
    const QString typed = roster_typed.isNull() ? QFile::decodeName(roster_local) : roster_typed;
    int text_sep = typed.size() - 1;
    while (text_sep >= 0 && typed[text_sep] != QLatin1Char('/') && typed[text_sep] != QLatin1Char('\\'))
        --text_sep;
    const QString text_dir = typed.left(text_sep + 1);
    r.last_path = roster_local;
    r.texts.assign(r.students.size() * static_cast<std::size_t>(r.written), StagedText());
    for (RosterStudent &stu : r.students) {
        const QString name = QString::fromUtf8(stu.name);  // up to the first 0 byte
        if (!usable_as_file_name(name))
            continue;
        stu.sheet_path = dir + name.toLocal8Bit();
        stu.sheet_file = text_dir + name;
        if (stu.sheet_path.size() > limits::path_bytes) {
            LoadError e = item_error(LoadFault::over_limit, LoadItem::sheet_path);
            e.file = InputKind::roster;
            e.student = name;
            e.limit = limits::path_bytes;
            return e;
        }
    }
    return LoadError();
}

LoadError read_sheet(ParsedRoster &r, int s, QIODevice *sheet, OpenStatus opened)
{
    RosterStudent &stu = r.students[static_cast<std::size_t>(s - 1)];
    SheetGap gap;
    gap.student = s;
    gap.name = QString::fromUtf8(stu.name);
    if (stu.sheet_path.isEmpty()) {
        gap.fault = SheetFault::unusable_name;
        r.gaps << gap;
        return LoadError();
    }
    r.last_path = stu.sheet_path;
    if (!sheet) {
        gap.fault = sheet_fault(opened);
        r.gaps << gap;
        return LoadError();
    }
    TextInput in(*sheet);
    gap.choices_wanted = r.choice;
    gap.choices_read = read_choices(in, r.choice, stu);
    const LoadError e = read_answers(in, r, s, gap);
    if (!e.ok())
        return e;
    in.check_to_end();
    StagedText *texts = r.texts.data() + static_cast<std::size_t>(s - 1) * r.written;
    if (in.failed()) {
        // A sheet that cannot be read to its end is not trusted at all.
        std::memset(stu.xuan, 0, sizeof stu.xuan);
        std::fill(texts, texts + r.written, StagedText());
        const Utf16Damage d = in.damage();
        const SheetFault f = d == Utf16Damage::odd_length           ? SheetFault::utf16_odd_length
                             : d == Utf16Damage::unpaired_surrogate ? SheetFault::utf16_unpaired_surrogate
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

void commit_roster(ExamStore &st, const ParsedRoster &r)
{
    const int count = static_cast<int>(r.students.size());
    st.stu_count = count;
    for (int s = 1; s <= count; ++s) {
        const RosterStudent &stu = r.students[static_cast<std::size_t>(s - 1)];
        std::memcpy(st.stu_name[s], stu.name, static_cast<std::size_t>(stu.name_len) + 1);
        std::memcpy(st.stu_xuan[s], stu.xuan, static_cast<std::size_t>(r.choice));
        const StagedText *texts = r.texts.data() + static_cast<std::size_t>(s - 1) * r.written;
        for (int q = 1; q <= r.written; ++q)
            put_text(st.stu_text[s][q], st.stu_len[s][q], texts[q - 1]);
    }
    std::memcpy(st.stu_path, r.last_path.constData(), static_cast<std::size_t>(r.last_path.size()) + 1);
}

QVector<LoadNotice> roster_notices(const ParsedRoster &r, const QString &path)
{
    QVector<LoadNotice> out;
    bool names_utf8 = true;
    for (const RosterStudent &stu : r.students)
        names_utf8 = names_utf8 && is_utf8(stu.name, static_cast<std::size_t>(stu.name_len));
    if (!names_utf8) {
        LoadNotice n = not_utf8_notice(InputKind::roster, path);
        for (const SheetGap &g : r.gaps) {
            const RosterStudent &stu = r.students[static_cast<std::size_t>(g.student - 1)];
            if (g.fault == SheetFault::missing && !is_utf8(stu.name, static_cast<std::size_t>(stu.name_len)))
                ++n.sheets_not_found;
        }
        out << n;
    }
    if (r.extra_names > 0) {
        LoadNotice n;
        n.kind = NoticeKind::extra_names;
        n.file = InputKind::roster;
        n.path = path;
        n.count = static_cast<qint64>(r.students.size());
        n.listed = n.count + r.extra_names;
        for (const QByteArray &name : r.left_out)
            n.names << QString::fromUtf8(name);
        out << n;
    }
    if (!r.non_utf8_sheets.isEmpty()) {
        LoadNotice n;
        n.kind = NoticeKind::sheets_not_utf8;
        n.file = InputKind::roster;
        n.path = path;
        n.listed = r.non_utf8_sheets.size();
        for (int s : r.non_utf8_sheets) {
            if (n.names.size() == roster_left_out_kept)
                break;
            const RosterStudent &stu = r.students[static_cast<std::size_t>(s - 1)];
            n.names << QString::fromUtf8(stu.name, stu.name_len);
        }
        out << n;
    }
    return out;
}

RosterLoad load_roster(ExamStore &st, const QString &path)
{
    RosterLoad out;
    InputFile f;
    out.error = open_input(InputKind::roster, path, f);
    if (!out.error.ok())
        return out;
    TextInput in(f.file);
    auto parsed = std::make_unique<ParsedRoster>();
    out.error = in_file(parse_roster(in, st.xuan_count, st.unxuan_count, *parsed), InputKind::roster, path, &f.file);
    if (out.error.ok())
        out.error = in_file(place_sheets(*parsed, f.local, path), InputKind::roster, path);
    const int count = static_cast<int>(parsed->students.size());
    for (int s = 1; out.error.ok() && s <= count; ++s) {
        const RosterStudent &stu = parsed->students[static_cast<std::size_t>(s - 1)];
        QFile sheet;
        const OpenStatus opened = stu.sheet_path.isEmpty() ? OpenStatus::missing : open_input_file(sheet, stu.sheet_file);
        out.error = in_file(read_sheet(*parsed, s, opened == OpenStatus::ok ? &sheet : nullptr, opened),
                            InputKind::roster, path);
    }
    if (!out.error.ok())
        return out;
    commit_roster(st, *parsed);
    out.gaps = parsed->gaps;
    out.notices = roster_notices(*parsed, path);
    return out;
}
