// The three loaders that fill the exam store: the problem file, the answer file
// and the roster with every student's answer sheet. Each has a parse step
// (bytes in, the parsed data or an error out, the store untouched) and a commit
// step that writes the store; a load is open -> parse -> commit, so a refused
// load leaves the store exactly as it was. Marks (stu_score, stu_total) and the
// marking cursor are never touched here.
#pragma once

#include "exam/exam_store.h"
#include "exam/input_files.h"
#include "exam/load_error.h"
#include "exam/text_arena.h"
#include "exam/text_reader.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QVector>

#include <functional>
#include <vector>

class QIODevice;

// Largest maximum score a question may carry. Real exams stay far below it; a
// larger figure is a typo or a broken file, and refusing it keeps the score
// spin box and the totals within sane ranges.
constexpr double max_question_score = 10000.0;

// ---- Problem file ----

struct ParsedProblem {
    int32_t xuan = 0;
    int32_t unxuan = 0;
    double score[limits::questions + 1] = {};
    StagedText text[limits::questions + 1];
    TextArena arena;
};

LoadError parse_problem(TextInput &in, ParsedProblem &out);
// local_path: the path's local 8-bit bytes, kept in pro_path.
void commit_problem(ExamStore &st, const ParsedProblem &p, const QByteArray &local_path);
bool problem_is_utf8(const ParsedProblem &p);

// Beside its error value a problem or answer load can tell notices of a
// success (texts not UTF-8) and run a step just before it writes the store
// (the window stores the mark on screen then, never for a refused load).
struct LoadExtras {
    QVector<LoadNotice> notices;
    std::function<void()> before_commit;
};

// path is the text of the path field.
LoadError load_problem_file(ExamStore &st, const QString &path, LoadExtras *extras = nullptr);
// Exactly what load_problem_file does had the file named `path` held `content`.
LoadError load_problem(ExamStore &st, const QByteArray &content, const QString &path, LoadExtras *extras = nullptr);

// ---- Answer file ----

struct ParsedAnswer {
    char key[limits::name_bytes + 1] = {};
    int32_t key_len = 0;
    int written = 0;  // standard answers read
    StagedText text[limits::written + 1];
    TextArena arena;
};

// written: the written-question count of the last problem file.
LoadError parse_answer(TextInput &in, int written, ParsedAnswer &out);
void commit_answer(ExamStore &st, const ParsedAnswer &a, const QByteArray &local_path);
bool answer_is_utf8(const ParsedAnswer &a);

LoadError load_answer_file(ExamStore &st, const QString &path, LoadExtras *extras = nullptr);
LoadError load_answer(ExamStore &st, const QByteArray &content, const QString &path, LoadExtras *extras = nullptr);

// ---- Roster and answer sheets ----

struct RosterStudent {
    char name[limits::name_bytes + 1] = {};
    int32_t name_len = 0;
    char xuan[limits::choice] = {};  // a choice answer the sheet lacks stays 0 and never matches a key
    QByteArray sheet_path;           // local 8-bit bytes, as stu_path keeps them; empty when the name cannot name a file
    QString sheet_file;              // the same path as text, by which the sheet is opened
};

// How many of the names a roster lists beyond its count are kept to be named.
constexpr int roster_left_out_kept = 5;

struct ParsedRoster {
    int choice = 0;  // the counts the sheets are read with
    int written = 0;
    std::vector<RosterStudent> students;  // student s at s - 1
    std::vector<StagedText> texts;        // (s, q) at (s - 1) * written + q - 1
    TextArena arena;
    QVector<SheetGap> gaps;
    QByteArray last_path;  // stu_path after the commit
    qint64 extra_names = 0;           // names listed after the count's last one
    QByteArrayList left_out;          // the first few of them
    QVector<int> non_utf8_sheets;     // students whose sheets' answers are not UTF-8
};

// The count and the names; choice and written are the store's counts.
LoadError parse_roster(TextInput &in, int choice, int written, ParsedRoster &out);
// Each student's sheet path in the roster's directory (everything up to and
// including the roster path's last "/" or "\"; with neither, the working
// directory): as local 8-bit bytes for the store, and as the typed directory
// joined with the name decoded as UTF-8 for opening (a null roster_typed: the
// local bytes decoded). Refuses a sheet path longer than limits::path_bytes.
LoadError place_sheets(ParsedRoster &r, const QByteArray &roster_local, const QString &roster_typed = QString());
// Student s's sheet: `sheet` open for reading, or null when it could not be
// opened, then `opened` says why. What the sheet lacks goes into r.gaps; only
// an answer beyond capacity refuses the load.
LoadError read_sheet(ParsedRoster &r, int s, QIODevice *sheet, OpenStatus opened);
void commit_roster(ExamStore &st, const ParsedRoster &r);

// What a successful roster load has to tell: names not UTF-8, names beyond
// the count, sheets not UTF-8. path: as typed.
QVector<LoadNotice> roster_notices(const ParsedRoster &r, const QString &path);

struct RosterLoad {
    LoadError error;
    QVector<SheetGap> gaps;  // the students whose sheets are missing, incomplete or unusable
    QVector<LoadNotice> notices;  // of a successful load, roster_notices()
};

// Reads the roster and every sheet. Leaves cur_stu, cur_pro and mark_steps to
// the window, which restarts marking after a successful load.
RosterLoad load_roster(ExamStore &st, const QString &path);
