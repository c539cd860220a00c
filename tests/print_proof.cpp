// Exports three classes through the real window, as a teacher would, for
// tests/print_check.py to print through LibreOffice, all into one library of
// marks: the example class of examples/ (its folder named "高一（3）班物理")
// marks its 月考 (the example exam with other question texts, saved as
// "2026秋季月考物理.txt") 3, 2, 6, 8, 1, 0, 5, 7; a second class of four,
// "高一（4）班物理", marks the example exam ("2026秋季期中物理.txt")
// 4, 4, 6, 6, 1, 2, 5, 8; then the example class marks it 6, 8, 2, 0, 5, 7,
// 4, 3, compared with its 月考 and with the second class; and a class of 40
// with 14 questions.
//   print_proof <examples folder> <output folder>
// writes monthly, class4, example and class40, each .xlsx and .xls, there.
#include "app/velora.h"
#include "exam/exam_store.h"

#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextStream>

#include <cstdio>

namespace {

template <class T> T *get(velora &w, const char *name)
{
    return w.findChild<T *>(QString::fromLatin1(name));
}

void press(velora &w, const char *button)
{
    get<QPushButton>(w, button)->click();
}

bool put(const QString &path, const QString &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) >= 0;
}

// Loads the three files, gives every written answer its mark in turn and exports to both formats.
bool export_class(const QString &library, const QString &folder, const QString &problem, const QVector<double> &marks,
                  const QString &out)
{
    // A store of its own: the next class is another exam, not a load over the last.
    ExamStorePtr st = make_blank_store();
    velora w(*st);
    w.keep_library_in(library);
    w.show();
    get<QLineEdit>(w, "problemfile_input")->setText(QDir(folder).filePath(problem));
    press(w, "problemfile_button");
    get<QLineEdit>(w, "ansfile_input")->setText(QDir(folder).filePath(QStringLiteral("answer.txt")));
    press(w, "ansfile_button");
    get<QLineEdit>(w, "stufile_input")->setText(QDir(folder).filePath(QStringLiteral("roster.txt")));
    press(w, "stufile_button");
    for (double m : marks) {
        get<QDoubleSpinBox>(w, "pin_fen")->setValue(m);
        press(w, "next");
    }
    press(w, "tongji_button");
    for (const char *suffix : {".xlsx", ".xls"}) {
        get<QLineEdit>(w, "input_file")->setText(out + QLatin1String(suffix));
        press(w, "print_button");
    }
    for (QMessageBox *m : w.findChildren<QMessageBox *>())
        if (m->isVisible()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(out), qPrintable(m->text()));
            return false;
        }
    return true;
}

// 10 choice questions of 4 points, 4 written of 15; 40 students with spread marks.
bool write_class40(const QString &folder, QVector<double> *marks)
{
    QString problem = QStringLiteral("10 4\n4 4 4 4 4 4 4 4 4 4 15 15 15 15\n");
    for (int q = 1; q <= 14; ++q)
        problem += QStringLiteral("@第%1题$\n").arg(q);
    QString answer = QStringLiteral("ABCDABCDAB\n");
    for (int q = 1; q <= 4; ++q)
        answer += QStringLiteral("@标准答案%1$\n").arg(q);
    const QString surnames = QStringLiteral("赵钱孙李周吴郑王冯陈褚卫蒋沈韩杨朱秦尤许");
    QString roster = QStringLiteral("40\n");
    bool ok = put(QDir(folder).filePath(QStringLiteral("2026秋季期中数学.txt")), problem)
        && put(QDir(folder).filePath(QStringLiteral("answer.txt")), answer);
    for (int s = 0; s < 40; ++s) {
        const QString name = surnames.at(s % 20) + (s < 20 ? QStringLiteral("小明") : QStringLiteral("晓"));
        roster += name + QLatin1Char('\n');
        QString sheet;
        for (int q = 0; q < 10; ++q)
            sheet += QChar(QLatin1Char("ABCD"[(s * 7 + q * 3) % 5 == 0 ? (q + 1) % 4 : q % 4]));
        sheet += QLatin1Char('\n');
        for (int q = 1; q <= 4; ++q) {
            sheet += QStringLiteral("@答案%1$\n").arg(q);
            marks->append((s * 5 + q * 3) % 16);
        }
        ok = ok && put(QDir(folder).filePath(name), sheet);
    }
    return ok && put(QDir(folder).filePath(QStringLiteral("roster.txt")), roster);
}

QByteArray file_bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The example class, with its 月考 beside the example exam; and a second class of four other
// students, whose sheets are the example's in turn.
bool copy_examples(const QString &from, const QString &to, const QString &second)
{
    const QDir src(from);
    bool ok = true;
    for (const QString &name : src.entryList(QDir::Files)) {
        // A second run copies afresh.
        const QString target
            = QDir(to).filePath(name == QLatin1String("problem.txt") ? QStringLiteral("2026秋季期中物理.txt") : name);
        QFile::remove(target);
        ok = ok && QFile::copy(src.filePath(name), target);
    }
    const QString problem = QString::fromUtf8(file_bytes(src.filePath(QStringLiteral("problem.txt"))));
    ok = ok && !problem.isEmpty()
        && put(QDir(to).filePath(QStringLiteral("2026秋季月考物理.txt")),
               QString(problem).replace(QLatin1Char('@'), QStringLiteral("@月考：")));
    const QStringList own = {QStringLiteral("张三"), QStringLiteral("李四"), QStringLiteral("王五"), QStringLiteral("赵六")};
    const QStringList others = {QStringLiteral("孙七"), QStringLiteral("周八"), QStringLiteral("吴九"), QStringLiteral("郑十")};
    for (int k = 0; k < own.size(); ++k)
        ok = ok && put(QDir(second).filePath(others[k]), QString::fromUtf8(file_bytes(src.filePath(own[k]))));
    return ok && put(QDir(second).filePath(QStringLiteral("roster.txt")), QStringLiteral("4\n") + others.join(QLatin1Char('\n')))
        && QFile::copy(src.filePath(QStringLiteral("answer.txt")), QDir(second).filePath(QStringLiteral("answer.txt")))
        && QFile::copy(QDir(to).filePath(QStringLiteral("2026秋季期中物理.txt")),
                       QDir(second).filePath(QStringLiteral("2026秋季期中物理.txt")));
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: print_proof <examples folder> <output folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[2]));
    const QString example = out.filePath(QStringLiteral("高一（3）班物理"));
    const QString second = out.filePath(QStringLiteral("高一（4）班物理"));
    const QString class40 = out.filePath(QStringLiteral("class40-files"));
    // Every class in one library, as on a teacher's PC; a run of its own starts it afresh.
    const QString library = out.filePath(QStringLiteral("library"));
    QDir(library).removeRecursively();
    QDir(second).removeRecursively();
    QVector<double> marks40;
    if (!QDir().mkpath(example) || !QDir().mkpath(second) || !QDir().mkpath(class40)
        || !copy_examples(QString::fromLocal8Bit(argv[1]), example, second) || !write_class40(class40, &marks40)) {
        std::fprintf(stderr, "print_proof: cannot write the input files under %s\n", argv[2]);
        return 1;
    }
    const QString mid_term = QStringLiteral("2026秋季期中物理.txt");
    const bool ok = export_class(library, example, QStringLiteral("2026秋季月考物理.txt"), {3, 2, 6, 8, 1, 0, 5, 7},
                                 out.filePath(QStringLiteral("monthly")))
        && export_class(library, second, mid_term, {4, 4, 6, 6, 1, 2, 5, 8}, out.filePath(QStringLiteral("class4")))
        && export_class(library, example, mid_term, {6, 8, 2, 0, 5, 7, 4, 3}, out.filePath(QStringLiteral("example")))
        && export_class(library, class40, QStringLiteral("2026秋季期中数学.txt"), marks40,
                        out.filePath(QStringLiteral("class40")));
    return ok ? 0 : 1;
}
