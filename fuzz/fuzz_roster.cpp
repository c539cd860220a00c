// Fuzz target: the roster loader with real sheet files. The first byte picks
// the question counts of the last problem file; the rest is split on "|~|"
// into the roster and the sheets of its first students, written into a
// scratch directory under the names the roster gives them.
#include "fuzz/fuzz_store.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <vector>

namespace {

struct Counts {
    int choice, written;
};
constexpr Counts variants[] = {{2, 2}, {0, 0}, {1, 3}, {3, 2}, {100, 100}, {0, 5}, {3, 0}, {2, 1}};
constexpr int max_sheets = 8;

struct Scratch {
    QString dir;
    QStringList written;  // sheet files of the last input
};

Scratch &scratch()
{
    static Scratch *s = [] {
        auto *n = new Scratch;
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        n->dir = base + QStringLiteral("/velora-fuzz-roster-%1").arg(::getpid());
        QDir().mkpath(n->dir);
        std::atexit([] {
            QDir(scratch().dir).removeRecursively();
        });
        return n;
    }();
    return *s;
}

bool usable_name(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && name != QLatin1String(".") && name != QLatin1String("..");
}

struct Student {
    QByteArray name;
    QByteArray path;  // empty: the name cannot name a file
    QByteArray xuan;
    std::vector<QByteArray> text;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const Counts counts = variants[data[0] % (sizeof variants / sizeof variants[0])];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), static_cast<int>(size - 1));
    QList<QByteArray> parts;
    for (int from = 0;;) {
        const int at = bytes.indexOf("|~|", from);
        if (at < 0) {
            parts << bytes.mid(from);
            break;
        }
        parts << bytes.mid(from, at - from);
        from = at + 3;
    }

    Scratch &sc = scratch();
    for (const QString &f : sc.written)
        QFile::remove(f);
    sc.written.clear();
    const QString roster_path = sc.dir + QStringLiteral("/名单 list");  // no name token can contain the blank
    const QByteArray dir = QFile::encodeName(sc.dir) + '/';

    // The model of the roster: count, names, sheet paths.
    bool expect_ok = true;
    bool expect_gaps = false;
    std::vector<Student> students;
    bool roster_damaged = false;
    fuzz::Reader rd{fuzz::text_mode(parts[0], &roster_damaged)};
    int32_t count = 0;
    if (rd.integer(count) != fuzz::Got::ok || count < 0 || count > limits::students)
        expect_ok = false;
    if (roster_damaged)
        expect_ok = false;
    for (int s = 1; expect_ok && s <= count; ++s) {
        Student stu;
        if (rd.token(stu.name) != fuzz::Got::ok || stu.name.size() > limits::name_bytes) {
            expect_ok = false;
            break;
        }
        const QString name = QString::fromUtf8(stu.name.constData());  // up to a 0 byte
        if (usable_name(name)) {
            stu.path = dir + name.toLocal8Bit();
            if (stu.path.size() > limits::path_bytes)
                expect_ok = false;
        }
        students.push_back(stu);
    }

    // The sheets go where the loader will look for them; later ones win on equal names.
    QMap<QByteArray, QByteArray> files;
    for (int i = 1; i < parts.size() && i <= max_sheets && i <= static_cast<int>(students.size()); ++i) {
        const QByteArray &path = students[static_cast<std::size_t>(i - 1)].path;
        if (path.isEmpty())
            continue;
        QFile f(QFile::decodeName(path));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(parts[i]) == parts[i].size()) {
            files[path] = parts[i];
            sc.written << f.fileName();
        } else {
            f.close();
            f.remove();
            files.remove(path);
        }
    }
    QFile roster(roster_path);
    if (!roster.open(QIODevice::WriteOnly | QIODevice::Truncate) || roster.write(parts[0]) != parts[0].size())
        fuzz::fail("cannot write the roster", roster_path);
    roster.close();

    // The model of the sheets.
    const int choice = counts.choice, written = counts.written;
    for (Student &stu : students) {
        stu.xuan = QByteArray(choice, '\0');
        stu.text.assign(static_cast<std::size_t>(written), QByteArray());
        if (stu.path.isEmpty() || !files.contains(stu.path)) {
            expect_gaps = true;
            continue;
        }
        bool damaged = false;
        fuzz::Reader sr{fuzz::text_mode(files[stu.path], &damaged)};
        const int k = qMin(choice, sr.s.size());
        std::memcpy(stu.xuan.data(), sr.s.constData(), static_cast<std::size_t>(k));
        expect_gaps = expect_gaps || k < choice;
        sr.pos = k;
        for (int q = 1; q <= written; ++q) {
            QByteArray t;
            const fuzz::Reader::Text got = sr.text(t);
            if (got == fuzz::Reader::Text::too_long && !damaged)
                expect_ok = false;
            if (got != fuzz::Reader::Text::ok) {
                expect_gaps = true;
                break;
            }
            stu.text[static_cast<std::size_t>(q - 1)] = t;
        }
        if (damaged) {
            // A damaged UTF-16 sheet is not trusted at all.
            expect_gaps = true;
            stu.xuan = QByteArray(choice, '\0');
            stu.text.assign(static_cast<std::size_t>(written), QByteArray());
        }
    }

    ExamStore &st = *fuzz::stores().work;
    st.xuan_count = counts.choice;
    st.unxuan_count = counts.written;

    const RosterLoad r = load_roster(st, roster_path);

    FUZZ_CHECK(r.error.ok() == expect_ok, load_error_message(r.error));
    static const QStringList owned = {"stu_count", "stu_name", "stu_xuan", "stu_text", "stu_len", "stu_path"};
    const fuzz::Outcome o = fuzz::check_outcome(r.error, counts.choice, counts.written, owned);
    if (!o.ok)
        return fuzz::finish(o), 0;

    FUZZ_CHECK(r.gaps.isEmpty() == !expect_gaps, QString::number(r.gaps.size()));
    for (const SheetGap &g : r.gaps)
        FUZZ_CHECK(g.student >= 1 && g.student <= count && !sheet_gap_message(g).isEmpty(), QString::number(g.student));
    FUZZ_CHECK(st.stu_count == count, QString::number(st.stu_count));
    FUZZ_CHECK(fuzz::terminated(st.stu_path, sizeof st.stu_path), QString());
    QByteArray last = QFile::encodeName(roster_path);
    for (int s = 1; s <= count; ++s) {
        const Student &stu = students[static_cast<std::size_t>(s - 1)];
        if (!stu.path.isEmpty())
            last = stu.path;
        FUZZ_CHECK(fuzz::terminated(st.stu_name[s], sizeof st.stu_name[s]), QString::number(s));
        FUZZ_CHECK(QByteArray(st.stu_name[s], stu.name.size() + 1) == stu.name + '\0', QString::number(s));
        FUZZ_CHECK(QByteArray(st.stu_xuan[s], choice) == stu.xuan, QString::number(s));
        for (int q = 1; q <= written; ++q) {
            fuzz::check_cell(st.stu_text[s][q], st.stu_len[s][q]);
            FUZZ_CHECK(fuzz::cell_bytes(st.stu_text[s][q], st.stu_len[s][q]) == stu.text[static_cast<std::size_t>(q - 1)],
                       QStringLiteral("%1/%2").arg(s).arg(q));
        }
    }
    FUZZ_CHECK(QByteArray(st.stu_path) == last, QString::fromLocal8Bit(st.stu_path));
    fuzz::finish(o);
    return 0;
}
