// Making written bytes durable: the platform's flush of a file to the disk,
// and of a new file's name in its folder. One source per platform implements
// it: durable_file_posix.cpp or durable_file_windows.cpp, whichever the build picks.
#pragma once

#include <QFile>
#include <QString>

// Flushes everything written to `file` (open for writing) to the disk before
// it returns; false with the system's reason in *reason.
bool sync_file(QFile &file, QString *reason);

// Makes the name of a file newly made in `folder` durable, so a power cut
// cannot leave its bytes without its name; false with the system's reason.
bool sync_folder(const QString &folder, QString *reason);
