// Exports two classes through the real window, as a teacher would, for
// tests/print_check.py to print through LibreOffice: the example exam of
// examples/ (its problem file saved as "2026秋季期中物理.txt") marked 6, 8, 2, 0,
// 5, 7, 4, 3, and a class of 40 with 14 questions.
//   print_proof <examples folder> <output folder>
// writes example.xlsx, example.xls, class40.xlsx and class40.xls there.
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
bool export_class(const QString &folder, const QString &problem, const QVector<double> &marks, const QString &out)
{
    // A store of its own: the second class is another exam, not a load over the first.
    ExamStorePtr st = make_blank_store();
    velora w(*st);
    w.keep_library_in(QDir(folder).filePath(QStringLiteral("library")));
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

bool copy_examples(const QString &from, const QString &to)
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
    return ok;
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
    const QString example = out.filePath(QStringLiteral("example-files"));
    const QString class40 = out.filePath(QStringLiteral("class40-files"));
    QVector<double> marks40;
    if (!QDir().mkpath(example) || !QDir().mkpath(class40) || !copy_examples(QString::fromLocal8Bit(argv[1]), example)
        || !write_class40(class40, &marks40)) {
        std::fprintf(stderr, "print_proof: cannot write the input files under %s\n", argv[2]);
        return 1;
    }
    const bool ok = export_class(example, QStringLiteral("2026秋季期中物理.txt"), {6, 8, 2, 0, 5, 7, 4, 3},
                                 out.filePath(QStringLiteral("example")))
        && export_class(class40, QStringLiteral("2026秋季期中数学.txt"), marks40,
                        out.filePath(QStringLiteral("class40")));
    return ok ? 0 : 1;
}
