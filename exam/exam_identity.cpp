// The exam identity and its canonical bytes.
#include "exam/exam_identity.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cstring>

namespace {

// Bumped whenever the canonical bytes change, so no key ever means two layouts.
const char identity_tag[] = "velora exam 1\n";

void put_u32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void put_u64(QByteArray &out, quint64 v)
{
    char b[8];
    qToLittleEndian(v, b);
    out.append(b, 8);
}

int clamp(int v, int top)
{
    return v < 0 ? 0 : v > top ? top : v;
}

}  // namespace

QByteArray ExamIdentity::canonical() const
{
    QByteArray out(identity_tag);
    put_u32(out, quint32(xuan_count));
    put_u32(out, quint32(unxuan_count));
    put_u32(out, quint32(max_scores.size()));
    for (double m : max_scores) {
        const double v = m + 0.0;  // -0 and 0 are one maximum
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        put_u64(out, bits);
    }
    put_u32(out, quint32(names.size()));
    for (const QByteArray &name : names) {
        put_u32(out, quint32(name.size()));
        out += name;
    }
    return out;
}

QString ExamIdentity::key() const
{
    return QString::fromLatin1(QCryptographicHash::hash(canonical(), QCryptographicHash::Sha256).toHex());
}

bool operator==(const ExamIdentity &a, const ExamIdentity &b)
{
    return a.canonical() == b.canonical();
}

QByteArray identity_name(const char *name)
{
    return QByteArray(name, int(strnlen(name, limits::name_bytes)));
}

ExamIdentity exam_identity(const ExamStore &st)
{
    ExamIdentity id;
    id.xuan_count = clamp(st.xuan_count, limits::choice);
    id.unxuan_count = clamp(st.unxuan_count, limits::written);
    const int questions = id.xuan_count + id.unxuan_count;
    id.max_scores.reserve(questions);
    for (int p = 1; p <= questions; ++p) {
        id.max_scores << st.pro_score[p];
        id.texts << QByteArray(st.pro_text[p], clamp(st.pro_len[p], limits::text_bytes));
    }
    id.paper_name = paper_name_of(QFile::decodeName(QByteArray(st.pro_path, int(strnlen(st.pro_path, limits::path_bytes)))));
    id.class_name = class_name_of(QFile::decodeName(QByteArray(st.stu_path, int(strnlen(st.stu_path, limits::path_bytes)))));
    const int students = clamp(st.stu_count, limits::students);
    id.names.reserve(students);
    for (int s = 1; s <= students; ++s)
        id.names << identity_name(st.stu_name[s]);
    return id;
}

QString paper_name_of(const QString &problem_path)
{
    return problem_path.isEmpty() ? QString() : QFileInfo(problem_path).completeBaseName();
}

QString class_name_of(const QString &roster_path)
{
    return roster_path.isEmpty() ? QString() : QFileInfo(roster_path).absoluteDir().dirName();
}
