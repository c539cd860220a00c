// Durable writes on Windows: FlushFileBuffers on the file's native handle.
// A plain user cannot flush a folder (it takes a handle opened for writing,
// which needs backup rights), and there is no need: NTFS logs a new file's
// name in its metadata journal, which flushing the file writes out.
#include "marking/durable_file.h"

#include <io.h>
#include <windows.h>

bool sync_file(QFile &file, QString *reason)
{
    if (!file.flush()) {
        *reason = file.errorString();
        return false;
    }
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    if (h == INVALID_HANDLE_VALUE) {
        *reason = qt_error_string(ERROR_INVALID_HANDLE);
        return false;
    }
    if (FlushFileBuffers(h))
        return true;
    *reason = qt_error_string(int(GetLastError()));
    return false;
}

bool sync_folder(const QString &, QString *)
{
    return true;
}
