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
        std::atexit([] { QDir(scratch().dir).removeRecursively(); });
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
    QByteArray choice;
    std::vector<QByteArray> text;
    bool absent = false;  // 缺考: a usable name whose sheet is not there
};

// What the load must do, by a plain reading of the roster and the sheets.
struct Model {
    bool ok = true;     // the load goes through
    bool gaps = false;  // some sheet is missing or short
    int32_t count = 0;
    std::vector<Student> students;
};

QList<QByteArray> split_input(const QByteArray &bytes)
{
    QList<QByteArray> parts;
    for (int from = 0;;) {
        const int at = bytes.indexOf("|~|", from);
        if (at < 0) {
            parts << bytes.mid(from);
            return parts;
        }
        parts << bytes.mid(from, at - from);
        from = at + 3;
    }
}

// The count, the names and the sheet paths in dir (which ends in "/").
void model_roster(const QByteArray &roster, const QByteArray &dir, Model &m)
{
    bool roster_damaged = false;
    fuzz::Reader rd{fuzz::text_mode(roster, &roster_damaged)};
    if (rd.integer(m.count) != fuzz::Got::ok || m.count < 0 || m.count > limits::students)
        m.ok = false;
    if (roster_damaged)
        m.ok = false;
    for (int s = 1; m.ok && s <= m.count; ++s) {
        Student stu;
        if (rd.token(stu.name) != fuzz::Got::ok || stu.name.size() > limits::name_bytes) {
            m.ok = false;
            break;
        }
        const QString name = QString::fromUtf8(stu.name.constData());  // up to a 0 byte
        if (usable_name(name)) {
            stu.path = dir + name.toLocal8Bit();
            if (stu.path.size() > limits::path_bytes)
                m.ok = false;
        }
        m.students.push_back(stu);
    }
}

// The sheets go where the loader will look for them; later ones win on equal
// names. Returns what each sheet path holds; the roster goes to roster_path.
QMap<QByteArray, QByteArray> write_files(const QList<QByteArray> &parts, const Model &m, const QString &roster_path)
{
    Scratch &sc = scratch();
    QMap<QByteArray, QByteArray> files;
    for (int i = 1; i < parts.size() && i <= max_sheets && i <= static_cast<int>(m.students.size()); ++i) {
        const QByteArray &path = m.students[static_cast<std::size_t>(i - 1)].path;
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
    return files;
}

// One student's sheet: the choice bytes, then the written answers.
void model_sheet(const QByteArray &file, Counts counts, Student &stu, Model &m)
{
    bool damaged = false;
    fuzz::Reader sr{fuzz::text_mode(file, &damaged)};
    const int k = qMin(counts.choice, sr.s.size());
    std::memcpy(stu.choice.data(), sr.s.constData(), static_cast<std::size_t>(k));
    m.gaps = m.gaps || k < counts.choice;
    sr.pos = k;
    for (int q = 1; q <= counts.written; ++q) {
        QByteArray t;
        const fuzz::Reader::Text got = sr.text(t);
        if (got == fuzz::Reader::Text::over_limit && !damaged)
            m.ok = false;
        if (got != fuzz::Reader::Text::ok) {
            m.gaps = true;
            break;
        }
        stu.text[static_cast<std::size_t>(q - 1)] = t;
    }
    if (damaged) {
        // A damaged UTF-16 sheet is not trusted at all.
        m.gaps = true;
        stu.choice = QByteArray(counts.choice, '\0');
        stu.text.assign(static_cast<std::size_t>(counts.written), QByteArray());
    }
}

void model_sheets(const QMap<QByteArray, QByteArray> &files, Counts counts, Model &m)
{
    for (Student &stu : m.students) {
        stu.choice = QByteArray(counts.choice, '\0');
        stu.text.assign(static_cast<std::size_t>(counts.written), QByteArray());
        stu.absent = !stu.path.isEmpty() && !files.contains(stu.path);
        if (stu.path.isEmpty() || !files.contains(stu.path))
            m.gaps = true;
        else
            model_sheet(files[stu.path], counts, stu, m);
    }
}

// After a successful load: the store holds what the model read.
void check_store(const ExamStore &st, const Model &m, Counts counts, const QString &roster_path)
{
    FUZZ_CHECK(st.stu_count == m.count, QString::number(st.stu_count));
    FUZZ_CHECK(fuzz::terminated(st.stu_path, sizeof st.stu_path), QString());
    QByteArray last = QFile::encodeName(roster_path);
    for (int s = 1; s <= m.count; ++s) {
        const Student &stu = m.students[static_cast<std::size_t>(s - 1)];
        if (!stu.path.isEmpty())
            last = stu.path;
        FUZZ_CHECK(fuzz::terminated(st.stu_name[s], sizeof st.stu_name[s]), QString::number(s));
        FUZZ_CHECK(QByteArray(st.stu_name[s], stu.name.size() + 1) == stu.name + '\0', QString::number(s));
        FUZZ_CHECK(QByteArray(st.stu_xuan[s], counts.choice) == stu.choice, QString::number(s));
        FUZZ_CHECK(st.stu_absent[s] == stu.absent, QString::number(s));
        for (int q = 1; q <= counts.written; ++q) {
            fuzz::check_cell(st.stu_text[s][q], st.stu_len[s][q]);
            FUZZ_CHECK(fuzz::cell_bytes(st.stu_text[s][q], st.stu_len[s][q])
                           == stu.text[static_cast<std::size_t>(q - 1)],
                       QStringLiteral("%1/%2").arg(s).arg(q));
        }
    }
    FUZZ_CHECK(QByteArray(st.stu_path) == last, QString::fromLocal8Bit(st.stu_path));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const Counts counts = variants[data[0] % (sizeof variants / sizeof variants[0])];
    const QList<QByteArray> parts
        = split_input(QByteArray(reinterpret_cast<const char *>(data + 1), static_cast<int>(size - 1)));

    Scratch &sc = scratch();
    for (const QString &f : sc.written)
        QFile::remove(f);
    sc.written.clear();
    const QString roster_path = sc.dir + QStringLiteral("/名单 list");  // no name token can contain the blank

    Model m;
    model_roster(parts[0], QFile::encodeName(sc.dir) + '/', m);
    model_sheets(write_files(parts, m, roster_path), counts, m);

    ExamStore &st = *fuzz::stores().work;
    st.xuan_count = counts.choice;
    st.unxuan_count = counts.written;

    const LoadReport r = load_roster_file(st, roster_path);

    FUZZ_CHECK(r.ok() == m.ok, load_error_message(r.error));
    static const QStringList owned = {"stu_count", "stu_name", "stu_xuan", "stu_text", "stu_len", "stu_path", "stu_absent"};
    const fuzz::Outcome o = fuzz::check_outcome(r.error, counts.choice, counts.written, owned);
    if (!o.ok)
        return fuzz::finish(o), 0;

    FUZZ_CHECK(r.gaps.isEmpty() == !m.gaps, QString::number(r.gaps.size()));
    for (const SheetGap &g : r.gaps)
        FUZZ_CHECK(g.student >= 1 && g.student <= m.count && !sheet_gap_message(g).isEmpty(),
                   QString::number(g.student));
    check_store(st, m, counts, roster_path);
    fuzz::finish(o);
    return 0;
}
