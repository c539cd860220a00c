// The order every load runs in.
#include "exam/loader.h"

#include <QFile>

LoadReport run_load(ExamStore &st, InputKind kind, const QString &typed, const std::optional<QByteArray> &content,
                    LoadSteps &&steps, const LoadOptions &options)
{
    LoadReport out;
    const QByteArray local = local_path_bytes(typed);
    out.error = check_path(typed, local).at(kind, typed);
    if (!out.ok())
        return out;
    QFile file;
    std::optional<TextInput> in;
    if (content) {
        in.emplace(*content);
    } else {
        const OpenStatus opened = open_input_file(file, typed);
        out.error = open_error(opened, file).at(kind, typed);
        if (!out.ok())
            return out;
        in.emplace(file);
    }
    out.error = steps.parse(*in, local, typed).at(kind, typed);
    if (out.error.fault == LoadFault::read_failed && !content)
        out.error = out.error.because(file.errorString());
    if (!out.ok())
        return out;
    if (options.accept_exam) {
        ExamIdentity next = exam_identity(st);
        steps.staged_identity(next);
        if (kind == InputKind::problem)
            next.paper_name = paper_name_of(typed);
        else if (kind == InputKind::roster)
            next.class_name = class_name_of(typed);
        if (!options.accept_exam(next)) {
            out.held = true;
            return out;
        }
    }
    if (options.before_commit)
        options.before_commit();
    steps.commit(st, local);
    steps.tell(out, typed);
    return out;
}
