// What the three loaders share: the options a load takes, and the one order
// every load runs in. A load checks the path, reads the file it names (or the
// same bytes held in memory), parses them with the store untouched, and only
// then commits: a refused load leaves the store exactly as it was. Marks
// (stu_score, stu_total) and the marking cursor are never touched by a load.
// A load may also be held by its caller once the exam it would give is known:
// then too the store is left exactly as it was.
#pragma once

#include "exam/exam_identity.h"
#include "exam/exam_store.h"
#include "exam/input_files.h"
#include "exam/load_report.h"
#include "exam/text_input.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

struct LoadOptions {
    // Run just before the load writes the store, never for a refused load
    // (the window stores the mark on screen then).
    std::function<void()> before_commit;
    // Asked after a successful parse, before before_commit, with the exam the
    // store would hold once committed (for an answer load, the current one);
    // false holds the load: nothing is committed and the report says held.
    // Empty: every load goes through.
    std::function<bool(const ExamIdentity &next)> accept_exam;
    // How a roster load opens the students' sheets; empty: from the file system.
    SheetOpener open_sheet;
};

// A loader's own part of a load, called by run_load() in this order.
class LoadSteps {
public:
    virtual ~LoadSteps() = default;
    // Reads the whole input and keeps what it found; writes nothing to the
    // store. local: the path's local 8-bit bytes; typed: the path as typed.
    virtual LoadError parse(TextInput &in, const QByteArray &local, const QString &typed) = 0;
    // Puts into `id`, the store's exam, the part the committed load would
    // replace; the default replaces nothing.
    virtual void staged_identity(ExamIdentity &id) const { Q_UNUSED(id) }
    virtual void commit(ExamStore &st, const QByteArray &local) = 0;
    // What the committed load has to tell: notices, sheets' gaps.
    virtual void tell(LoadReport &report, const QString &typed) const = 0;
};

// The load of the input file `kind` whose path field says `typed`: from
// `content` when given, else from the file the path names.
LoadReport run_load(ExamStore &st, InputKind kind, const QString &typed, const std::optional<QByteArray> &content,
                    LoadSteps &&steps, const LoadOptions &options);
