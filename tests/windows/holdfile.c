/* Holds a file open without sharing, as an antivirus scanner, an indexer or a spreadsheet
   program does, and notes in LOG when it took and let go of it (milliseconds since 1970, to set
   beside the Linux side's clock).
   Used by scripts/windows-test.sh under Wine.
     holdfile.exe FILE MS LOG          holds FILE for MS milliseconds
     holdfile.exe --new DIR MS LOG     waits for a new ".velora-export-*.tmp" in DIR, holds it for MS */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

static FILE *log_file;

static void note(const char *what, const wchar_t *name)
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const unsigned long long t = ((unsigned long long)ft.dwHighDateTime << 32 | ft.dwLowDateTime) / 10000ULL;
    fprintf(log_file, "%llu %s %ls\n", t - 11644473600000ULL, what, name);
    fflush(log_file);
}

static HANDLE hold(const wchar_t *name)
{
    return CreateFileW(name, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 4 && argc != 5)
        return 2;
    const int watch = argc == 5 && wcscmp(argv[1], L"--new") == 0;
    const wchar_t *target = argv[watch ? 2 : 1];
    const DWORD ms = (DWORD)_wtol(argv[watch ? 3 : 2]);
    log_file = _wfopen(argv[watch ? 4 : 3], L"w");
    if (!log_file)
        return 2;
    HANDLE h = INVALID_HANDLE_VALUE;
    wchar_t name[MAX_PATH * 2];
    if (watch) {
        wchar_t pattern[MAX_PATH * 2];
        swprintf(pattern, MAX_PATH * 2, L"%ls\\.velora-export-*.tmp", target);
        note("watching", pattern);
        for (DWORD waited = 0; h == INVALID_HANDLE_VALUE && waited < 60000; waited++) {
            WIN32_FIND_DATAW fd;
            HANDLE f = FindFirstFileW(pattern, &fd);
            if (f != INVALID_HANDLE_VALUE) {
                FindClose(f);
                swprintf(name, MAX_PATH * 2, L"%ls\\%ls", target, fd.cFileName);
                h = hold(name);
            }
            if (h == INVALID_HANDLE_VALUE)
                Sleep(1);
        }
    } else {
        wcsncpy(name, target, MAX_PATH * 2 - 1);
        name[MAX_PATH * 2 - 1] = 0;
        h = hold(name);
    }
    if (h == INVALID_HANDLE_VALUE) {
        note("failed", name);
        return 1;
    }
    note("held", name);
    Sleep(ms);
    CloseHandle(h);
    note("released", name);
    fclose(log_file);
    return 0;
}
