// What a load reports, as one value: its error, or on success the notices and
// the students whose sheets gave less than a full set of answers; and the
// Chinese lines the window shows for them.
#pragma once

#include "exam/load_error.h"

#include <QString>
#include <QStringList>
#include <QVector>

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
    incomplete,  // see the counts of SheetGap
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
    QString path;              // as typed in the path field
    qint64 count = 0;          // extra_names: the roster's count
    qint64 listed = 0;         // extra_names: the names listed; sheets_not_utf8: the sheets
    QStringList names;         // the first few names left out, or of students whose sheets are not UTF-8
    int sheets_not_found = 0;  // not_utf8 roster: students whose names found no sheet

    // A notice of that kind about the input file `file` at `path`.
    static LoadNotice of(NoticeKind kind, InputKind file, const QString &path);
};

// The Chinese text of a notice, naming the file and what to do.
QString load_notice_message(const LoadNotice &n);

// The one result of every load.
struct LoadReport {
    LoadError error;              // a refused load: nothing else is set
    bool held = false;            // LoadOptions::accept_exam said no: no error, nothing else set, nothing committed
    QVector<LoadNotice> notices;  // of a successful load
    QVector<SheetGap> gaps;       // roster: the students whose sheets are missing, incomplete or unusable

    // Whether the load was committed: neither refused nor held.
    bool ok() const { return error.ok() && !held; }
};
