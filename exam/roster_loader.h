// The roster and answer sheet loader: the student count and names from the
// roster, then each student's sheet from the roster's directory: as many raw
// choice bytes as there are choice questions, from the start, then one
// delimited text per written question.
#pragma once

#include "exam/exam_store.h"
#include "exam/loader.h"
#include "exam/text_arena.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <QVector>

#include <vector>

struct RosterStudent {
    char name[limits::name_bytes + 1] = {};
    int32_t name_len = 0;
    char choice[limits::choice] = {};  // a choice answer the sheet lacks stays 0 and never matches a key
    QByteArray sheet_path;  // local 8-bit bytes, as stu_path keeps them; empty when the name cannot name a file
    QString sheet_file;     // the same path as text, by which the sheet is opened
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
    QByteArray last_path;          // stu_path after the commit
    qint64 extra_names = 0;        // names listed after the count's last one
    QByteArrayList left_out;       // the first few of them
    QVector<int> non_utf8_sheets;  // students whose sheets' answers are not UTF-8
};

// The count and the names; choice and written are the store's counts.
LoadError parse_roster(TextInput &in, int choice, int written, ParsedRoster &out);
void commit_roster(ExamStore &st, const ParsedRoster &r);

// Reads the roster and every student's sheet, in the roster's directory
// (everything up to and including the path's last "/" or "\"; with neither,
// the working directory), opened through options.open_sheet. What a sheet
// lacks is reported as a gap; only a sheet path or answer beyond capacity
// refuses the load. Tells notices for names beyond the count and for names or
// sheets not in UTF-8. Leaves cur_stu, cur_pro and mark_steps to the window,
// which restarts marking after a successful load.
LoadReport load_roster_file(ExamStore &st, const QString &path, const LoadOptions &options = {});
// Empties every student's answers (read for other question counts), keeping the names and marks.
void forget_sheets(ExamStore &st);
// Exactly what load_roster_file does had the file named `path` held `content`.
LoadReport load_roster(ExamStore &st, const QByteArray &content, const QString &path, const LoadOptions &options = {});
