// What went wrong with a load, as a value: the kind of fault and where it lies
// (file kind and path, question or student number, the limit passed). The
// loaders return it; only the window turns it into a message, through
// load_error_message(). Also the value a roster load keeps for each student
// whose sheet is missing or incomplete.
#pragma once

#include <QString>
#include <QStringList>

// The three input files a teacher names.
enum class InputKind { problem, answer, roster };

enum class LoadFault {
    none,
    // the path as typed
    path_empty,
    path_has_nul,
    path_too_long,
    // the file
    file_missing,
    file_not_regular,
    file_unopenable,
    read_failed,           // the file could not be read to its end
    utf16_odd_length,      // UTF-16 by its byte-order mark, but an odd number of bytes
    utf16_unpaired_surrogate,
    store_counts_invalid,  // the store's question counts are damaged: reload the problem file
    // the item named in LoadError::item
    missing,       // the file ends before it
    not_a_number,
    out_of_range,  // a number no count or score can hold
    negative,
    over_limit,    // a count or score above the limit, or a text, key, name or path longer than it
    no_start,      // the file ends before the "@" that opens the text
    unterminated,  // the text has no closing "$"
};

// What in the file a fault concerns.
enum class LoadItem {
    none,
    choice_count,
    written_count,
    student_count,
    max_score,        // of question `number`
    question_text,    // of question `number`
    standard_answer,  // of written question `number`
    key,
    student_name,     // of student `number`
    sheet_path,       // of student `student`
    sheet_answer,     // written answer `number` in the sheet `sheet` of student `student`
};

struct LoadError {
    LoadFault fault = LoadFault::none;
    InputKind file = InputKind::problem;
    QString path;  // as typed in the path field
    LoadItem item = LoadItem::none;
    int number = 0;
    double value = 0;  // the figure found (a count or a score); for a missing name, the roster's count
    int limit = 0;
    QString student;  // the student's name, for the sheet items
    QString sheet;    // the sheet's path, for sheet_answer
    // The system's reason an open or read failed. Not shown: its words are not Chinese.
    QString system_error;

    bool ok() const { return fault == LoadFault::none; }
};

// The Chinese message for a refused load, naming the file and what is wrong.
QString load_error_message(const LoadError &e);

// Why a student's sheet gave less than a full set of answers. The student is
// still marked; the missing parts count as blank.
enum class SheetFault {
    unusable_name,  // the name contains "/" or "\", or is "." or ".."
    missing,
    not_regular,
    unopenable,
    read_failed,
    utf16_odd_length,
    utf16_unpaired_surrogate,
    incomplete,     // see the counts of SheetGap
};

struct SheetGap {
    int student = 0;  // student number
    QString name;     // as the roster lists it (may be empty)
    SheetFault fault = SheetFault::incomplete;
    int choices_read = 0;  // the choice part is short when below choices_wanted
    int choices_wanted = 0;
    int unterminated = 0;   // the written answer whose "$" is missing, or 0
    int first_missing = 0;  // the written answers the sheet lacks, or 0
    int last_missing = 0;
};

// One line for the list the window shows, e.g. "张三：找不到答卷文件".
QString sheet_gap_message(const SheetGap &g);

// What a successful load has to tell the teacher: it went through, but the
// file is probably not what was meant.
enum class NoticeKind {
    not_utf8,         // its texts, key or names are not UTF-8 (perhaps GBK); kept as they are
    extra_names,      // the roster lists more names than its count
    sheets_not_utf8,  // some students' answer sheets are not UTF-8
};

struct LoadNotice {
    NoticeKind kind = NoticeKind::not_utf8;
    InputKind file = InputKind::problem;
    QString path;          // as typed in the path field
    qint64 count = 0;      // extra_names: the roster's count
    qint64 listed = 0;     // extra_names: the names listed; sheets_not_utf8: the sheets
    QStringList names;     // the first few names left out, or of students whose sheets are not UTF-8
    int sheets_not_found = 0;  // not_utf8 roster: students whose names found no sheet
};

LoadNotice not_utf8_notice(InputKind file, const QString &path);

// The Chinese text of a notice, naming the file and what to do.
QString load_notice_message(const LoadNotice &n);
