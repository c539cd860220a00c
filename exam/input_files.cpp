// Path checks and file opening for the loaders.
#include "exam/input_files.h"

#include "exam/exam_store.h"

#include <QFileInfo>

QByteArray local_path_bytes(const QString &typed) { return typed.toLocal8Bit(); }

LoadError check_path(InputKind kind, const QString &typed, const QByteArray &local)
{
    LoadError e;
    e.file = kind;
    e.path = typed;
    if (typed.isEmpty())
        e.fault = LoadFault::path_empty;
    else if (local.contains('\0'))  // it would cut the name short and open some other file
        e.fault = LoadFault::path_has_nul;
    else if (local.size() > limits::path_bytes)
        e.fault = LoadFault::path_too_long;
    e.limit = limits::path_bytes;
    return e;
}

OpenStatus open_input_file(QFile &file, const QString &name)
{
    const QFileInfo info(name);
    if (!info.exists())
        return OpenStatus::missing;
    if (!info.isFile())
        return OpenStatus::not_a_file;
    file.setFileName(name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return OpenStatus::unreadable;
    return OpenStatus::ok;
}

LoadError open_input(InputKind kind, const QString &typed, InputFile &out)
{
    out.local = local_path_bytes(typed);
    LoadError e = check_path(kind, typed, out.local);
    if (!e.ok())
        return e;
    switch (open_input_file(out.file, typed)) {
    case OpenStatus::ok:
        break;
    case OpenStatus::missing:
        e.fault = LoadFault::file_missing;
        break;
    case OpenStatus::not_a_file:
        e.fault = LoadFault::file_not_regular;
        break;
    case OpenStatus::unreadable:
        e.fault = LoadFault::file_unopenable;
        e.system_error = out.file.errorString();
        break;
    }
    return e;
}

LoadError in_file(LoadError e, InputKind kind, const QString &typed, const QFile *file)
{
    e.file = kind;
    e.path = typed;
    if (e.fault == LoadFault::read_failed && file)
        e.system_error = file->errorString();
    return e;
}
