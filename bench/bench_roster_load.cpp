// Roster load of a class at the store's limits (1000 students, 100 choice and
// 100 written questions, about 1 KB per written answer, ~100 MB of sheets)
// against `cat` reading the same files, both with the files warm in cache.
// Prints the best of a few runs of each, their ratio, and resident memory
// before and after a load.
#include "exam/exam_store.h"
#include "exam/loaders.h"
#include "tests/support/resident_memory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kStudents = limits::students;
constexpr int kChoice = limits::choice;
constexpr int kWritten = limits::written;
constexpr int kRuns = 3;

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString sheet_name(int s) { return QStringLiteral("S%1").arg(s, 4, 10, QLatin1Char('0')); }

// Writes problem.txt, roster.txt and every sheet; returns the bytes of roster and sheets.
qint64 generate(const QString &dir)
{
    QByteArray problem = QByteArray::number(kChoice) + " " + QByteArray::number(kWritten) + "\n";
    for (int p = 1; p <= kChoice + kWritten; ++p)
        problem += "2 ";
    for (int p = 1; p <= kChoice + kWritten; ++p)
        problem += "\n@第 " + QByteArray::number(p) + " 题$";
    QByteArray roster = QByteArray::number(kStudents) + "\n";
    for (int s = 1; s <= kStudents; ++s)
        roster += sheet_name(s).toLatin1() + (s % 10 ? " " : "\n");
    if (!write(dir + QStringLiteral("/problem.txt"), problem) || !write(dir + QStringLiteral("/roster.txt"), roster))
        return -1;

    // About 1 KB per answer: Chinese and ASCII lines, as a student writes them.
    QByteArray answer;
    while (answer.size() < 1000)
        answer += "因为冰的密度比水小，所以冰会浮在水面上。Because ice is less dense.\n";
    qint64 total = roster.size();
    for (int s = 1; s <= kStudents; ++s) {
        QByteArray sheet;
        sheet.reserve(kChoice + 1 + kWritten * (answer.size() + 3));
        for (int k = 0; k < kChoice; ++k)
            sheet += char('A' + (s + k) % 4);
        sheet += '\n';
        for (int q = 1; q <= kWritten; ++q)
            sheet += "@" + answer + "$\n";
        if (!write(dir + QLatin1Char('/') + sheet_name(s), sheet))
            return -1;
        total += sheet.size();
    }
    return total;
}

double run_cat(const QStringList &files)
{
    QProcess cat;
    cat.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    cat.start(QStringLiteral("cat"), files);
    if (!cat.waitForFinished(-1) || cat.exitCode() != 0)
        return -1;
    return t.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    if (!tmp.isValid())
        return 1;
    QElapsedTimer gen;
    gen.start();
    const qint64 bytes = generate(tmp.path());
    if (bytes < 0) {
        std::fprintf(stderr, "could not write the class into %s\n", qPrintable(tmp.path()));
        return 1;
    }
    std::printf("class: %d students, %d choice + %d written questions, %.1f MB of roster and sheets (written in %.0f ms)\n",
                kStudents, kChoice, kWritten, bytes / 1e6, gen.nsecsElapsed() / 1e6);

    const QString problem = tmp.path() + QStringLiteral("/problem.txt");
    const QString roster = tmp.path() + QStringLiteral("/roster.txt");
    QStringList files{roster};
    for (int s = 1; s <= kStudents; ++s)
        files << tmp.path() + QLatin1Char('/') + sheet_name(s);

    if (run_cat(files) < 0) {  // warms the cache for both
        std::fprintf(stderr, "cat failed\n");
        return 1;
    }
    double best_cat = 1e300, best_load = 1e300;
    for (int run = 0; run < kRuns; ++run) {
        best_cat = std::min(best_cat, run_cat(files));

        ExamStorePtr st = make_blank_store();
        if (!load_problem_file(*st, problem).ok())
            return 1;
        const long rss_before = resident_kib();
        QElapsedTimer t;
        t.start();
        const RosterLoad r = load_roster(*st, roster);
        const double ms = t.nsecsElapsed() / 1e6;
        const long rss_after = resident_kib();
        if (!r.error.ok() || !r.gaps.isEmpty() || st->stu_count != kStudents
            || st->stu_len[kStudents][kWritten] < 1000) {
            std::fprintf(stderr, "roster load failed: %s\n", qPrintable(load_error_message(r.error)));
            return 1;
        }
        best_load = std::min(best_load, ms);
        std::printf("run %d: roster load %.1f ms, VmRSS %ld KiB before, %ld KiB after (+%.1f MB)\n", run + 1, ms,
                    rss_before, rss_after, (rss_after - rss_before) / 1024.0);
    }
    std::printf("best of %d: cat %.1f ms, roster load %.1f ms, ratio %.2f (%.0f MB/s)\n", kRuns, best_cat, best_load,
                best_load / best_cat, bytes / 1e3 / best_load);
    return 0;
}
