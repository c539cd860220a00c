// Path checks and file opening for the loaders.
#include "exam/input_files.h"

#include "exam/exam_store.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>

QByteArray local_path_bytes(const QString &typed)
{
    return typed.toLocal8Bit();
}

LoadError check_path(const QString &typed, const QByteArray &local)
{
    if (typed.isEmpty())
        return LoadError::of(LoadFault::path_empty);
    if (local.contains('\0'))  // it would cut the name short and open some other file
        return LoadError::of(LoadFault::path_has_nul);
    if (local.size() > limits::path_bytes)
        return LoadError::of(LoadFault::path_over_limit, limits::path_bytes);
    return LoadError();
}

OpenStatus open_input_file(QFile &file, const QString &name)
{
    const QFileInfo info(name);
    if (!info.exists())
        return OpenStatus::missing;
    if (!info.isFile())
        return OpenStatus::not_regular;
    file.setFileName(name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return OpenStatus::unopenable;
    return OpenStatus::ok;
}

LoadError open_error(OpenStatus status, const QFile &file)
{
    switch (status) {
    case OpenStatus::ok:
        break;
    case OpenStatus::missing:
        return LoadError::of(LoadFault::missing);
    case OpenStatus::not_regular:
        return LoadError::of(LoadFault::not_regular);
    case OpenStatus::unopenable:
        return LoadError::of(LoadFault::unopenable).because(file.errorString());
    }
    return LoadError();
}

OpenedSheet open_sheet_file(const QString &name)
{
    auto file = std::make_unique<QFile>();
    OpenedSheet out;
    out.status = open_input_file(*file, name);
    if (out.status == OpenStatus::ok)
        out.device = std::move(file);
    return out;
}

void store_path(char (&cell)[limits::path_bytes + 1], const QByteArray &local)
{
    const int n = int(std::min<qsizetype>(local.size(), limits::path_bytes));
    std::memcpy(cell, local.constData(), static_cast<std::size_t>(n));
    cell[n] = '\0';
}
