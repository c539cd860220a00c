// What went wrong with a load, as a value: the kind of fault and where it lies
// (file kind and path, question or student number, the limit passed). The
// loaders return it; only the window turns it into a message, through
// load_error_message().
#pragma once

#include <QCoreApplication>
#include <QString>

// The three input files a teacher names.
enum class InputKind { problem, answer, roster };

enum class LoadFault {
    none,
    // the path as typed
    path_empty,
    path_has_nul,
    path_over_limit,
    // the file
    missing,
    not_regular,  // a directory, a device, a pipe
    unopenable,
    read_failed,       // the file could not be read to its end
    utf16_odd_length,  // UTF-16 by its byte-order mark, but an odd number of bytes
    utf16_unpaired_surrogate,
    store_counts_invalid,  // the store's question counts are damaged: reload the problem file
    // the item named in LoadError::item
    ends_early,  // the file ends before it
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
    student_name,  // of student `number`
    sheet_path,    // of student `student`
    sheet_answer,  // written answer `number` in the sheet `sheet` of student `student`
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

    // A fault of the file as a whole or of its path; limit: the one it passed.
    static LoadError of(LoadFault fault, int limit = 0);
    // A fault of one item: which question, written question or student
    // (number), the figure found (value) and the limit it passed.
    static LoadError in_item(LoadFault fault, LoadItem item, int number = 0, double value = 0, int limit = 0);
    // Written answer `number` of a student's sheet is longer than a text cell.
    static LoadError sheet_answer_over_limit(const QString &student, const QString &sheet, int number);
    // A student's sheet path is longer than the store keeps.
    static LoadError sheet_path_over_limit(const QString &student);
    // The same error, said of an input file: its kind and its path as typed.
    LoadError at(InputKind kind, const QString &typed) const;
    // The same error with the system's reason.
    LoadError because(const QString &reason) const
    {
        LoadError e = *this;
        e.system_error = reason;
        return e;
    }
};

// The Chinese message for a refused load, naming the file and what is wrong;
// empty for no error.
QString load_error_message(const LoadError &e);

// An input file as the messages name it, e.g. 试题文件“/考试/试题.txt”.
QString input_file_text(InputKind kind, const QString &typed);

// The load messages' words, translated in the context "velora".
class LoadText {
    Q_DECLARE_TR_FUNCTIONS(velora)
};
