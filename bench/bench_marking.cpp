// One press of "下一题" through the real window with 10 000-byte question,
// standard and student texts, against setting the same three texts into
// bare text browsers (the floor) in the same run; the same press with its
// changed mark committed to the mark library on the disk; the walk at the
// keyboard: a score typed into 评分 and Enter (Shift+Enter back), up to the
// next item shown with the field ready for typing; and an exam of 1000
// students × 100 written questions reopened from the library, beside bare
// SQLite reading the same rows.
#include "app/velora.h"
#include "exam/exam_identity.h"
#include "exam/exam_store.h"
#include "marking/legacy_journal.h"
#include "marking/mark_library.h"

#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

QByteArray text_of(int bytes, const char *tag)
{
    QByteArray line = QByteArray(tag) + " 学生在这一行里写下了自己的解题思路和计算过程。\n";
    QByteArray t;
    while (t.size() + line.size() <= bytes)
        t += line;
    return t + QByteArray(bytes - t.size(), 'x');
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    constexpr int kWritten = 4, kStudents = 2, kPresses = 200;
    QByteArray problem = "0 " + QByteArray::number(kWritten) + "\n";
    for (int q = 0; q < kWritten; ++q)
        problem += "10 ";
    QByteArray answer = "X\n", sheet;
    for (int q = 0; q < kWritten; ++q) {
        problem += "@" + text_of(10000, "题目") + "$";
        answer += "@" + text_of(10000, "标准答案") + "$";
        sheet += "@" + text_of(10000, "学生答案") + "$";
    }
    QByteArray roster = QByteArray::number(kStudents);
    for (int s = 1; s <= kStudents; ++s) {
        roster += " s" + QByteArray::number(s);
        if (!write(dir.filePath(QStringLiteral("s%1").arg(s)), sheet))
            return 1;
    }
    if (!write(dir.filePath(QStringLiteral("p.txt")), problem) || !write(dir.filePath(QStringLiteral("a.txt")), answer)
        || !write(dir.filePath(QStringLiteral("r.txt")), roster))
        return 1;

    // A window over its own store with the exam loaded, its library kept in
    // `journals` (under a plain file: in memory, as after a full disk).
    auto open_window = [&](ExamStore &st, const QString &journals) {
        auto w = std::make_unique<velora>(st);
        w->keep_library_in(journals);
        w->show();
        const char *const loads[3][3] = {{"problemfile_input", "problemfile_button", "p.txt"},
                                         {"ansfile_input", "ansfile_button", "a.txt"},
                                         {"stufile_input", "stufile_button", "r.txt"}};
        for (const auto &l : loads) {
            w->findChild<QLineEdit *>(QLatin1String(l[0]))->setText(dir.filePath(QLatin1String(l[2])));
            w->findChild<QPushButton *>(QLatin1String(l[1]))->click();
        }
        for (QMessageBox *m : w->findChildren<QMessageBox *>())
            m->close();  // the word that the library is in memory
        // The marking tab in front, and every press laid out and painted before the next.
        w->findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentIndex(1);
        QCoreApplication::processEvents();
        return w;
    };
    // Forwards over all 8 items, back again, and so on; every press stores
    // another mark than the item held.
    qint64 worst_ns = 0;
    auto walk = [&](velora &w, int from) {
        QDoubleSpinBox *pin_fen = w.findChild<QDoubleSpinBox *>(QStringLiteral("pin_fen"));
        QElapsedTimer t, one;
        t.start();
        for (int i = from; i < from + kPresses; ++i) {
            one.start();
            pin_fen->setValue((i % 19) * 0.5);
            w.findChild<QPushButton *>(QLatin1String((i / (kWritten * kStudents - 1)) % 2 ? "last" : "next"))->click();
            QCoreApplication::processEvents();
            worst_ns = std::max(worst_ns, one.nsecsElapsed());
        }
        return t.nsecsElapsed() / 1e6 / kPresses;
    };
    QElapsedTimer t;
    ExamStorePtr without = make_blank_store(), with = make_blank_store();
    double bare = 0;
    {
        if (!write(dir.filePath(QStringLiteral("plain")), "x"))
            return 1;
        std::unique_ptr<velora> w = open_window(*without, dir.filePath(QStringLiteral("plain/journals")));
        bare = walk(*w, 0);
    }
    worst_ns = 0;
    // The library on this machine's disk, in a folder of its own.
    std::unique_ptr<velora> window = open_window(*with, dir.filePath(QStringLiteral("journals")));
    velora &w = *window;
    const double with_library = walk(w, 1);  // values other than those a first walk would leave
    // The same walk question by question.
    w.findChild<QComboBox *>(QStringLiteral("marking_order"))->setCurrentIndex(1);
    const double by_question = walk(w, 2);
    w.findChild<QComboBox *>(QStringLiteral("marking_order"))->setCurrentIndex(0);
    if (!QFileInfo::exists(dir.filePath(QStringLiteral("journals/velora.sqlite3"))))
        return 1;  // the presses were not recorded

    // The library's commit alone, on this machine's disk.
    double commit = 0;
    {
        MarkLibrary lib;
        lib.open(dir.filePath(QStringLiteral("alone")));
        ExamIdentity small = exam_identity(*with);
        const ExamMatch m = lib.match(small);
        if (!lib.begin(small, m).ok())
            return 1;
        t.restart();
        for (int i = 0; i < kPresses; ++i)
            if (!lib.record_mark(1 + i % kStudents, 1 + i % kWritten, 1 + 0.5 * ((i / 4) % 2)).ok())
                return 1;
        commit = t.nsecsElapsed() / 1e6 / kPresses;
    }

    // 1000 students × 100 written questions, every item marked, reopened.
    ExamIdentity big;
    big.unxuan_count = 100;
    for (int q = 1; q <= 100; ++q) {
        big.max_scores << 10;
        big.texts << "第" + QByteArray::number(q) + "题";
    }
    QVector<LegacyMark> all;
    for (int s = 1; s <= 1000; ++s) {
        big.names << "学生" + QByteArray::number(s);
        for (int q = 1; q <= 100; ++q)
            all.append({s, q, (s + q) % 21 * 0.5, true, (s + q) % 21 * 0.5, 1700000000000});
    }
    const QString big_folder = dir.filePath(QStringLiteral("big"));
    {
        MarkLibrary lib;
        lib.open(big_folder);
        const ExamMatch m = lib.match(big);
        if (!lib.begin(big, m).ok() || !lib.import_marks(all).ok())
            return 1;
    }
    double reopen = 1e9, bare_read = 1e9, opening = 1e9, exam_only = 1e9;
    for (int round = 0; round < 5; ++round) {
        t.restart();
        MarkLibrary lib;
        lib.open(big_folder);
        opening = std::min(opening, t.nsecsElapsed() / 1e6);
        QElapsedTimer p;
        p.start();
        const ExamMatch m = lib.match(big);
        lib.claim(m.exam);
        lib.begin(big, m);
        if (lib.marks().marks.size() != 100000)
            return 1;
        exam_only = std::min(exam_only, p.nsecsElapsed() / 1e6);
        reopen = std::min(reopen, t.nsecsElapsed() / 1e6);
        lib.close_exam();

        t.restart();
        sqlite3 *db = nullptr;
        sqlite3_open_v2(QDir(big_folder).filePath(QStringLiteral("velora.sqlite3")).toUtf8().constData(), &db,
                        SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt *q = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT s.name, s.repeat, m.question, m.value, m.exported, m.given_ms FROM mark m"
                           " JOIN student s ON s.id = m.student_id WHERE s.exam_id = 1",
                           -1, &q, nullptr);
        int rows = 0;
        double sum = 0;
        while (sqlite3_step(q) == SQLITE_ROW) {
            sum += sqlite3_column_double(q, 3);
            ++rows;
        }
        sqlite3_finalize(q);
        sqlite3_close(db);
        if (rows != 100000 || sum <= 0)
            return 1;
        bare_read = std::min(bare_read, t.nsecsElapsed() / 1e6);
    }

    // Keys go where the focus is, as the teacher's do.
    QApplication::setActiveWindow(&w);
    auto key = [](int k, Qt::KeyboardModifiers mods, const QString &text) {
        QWidget *to = QApplication::focusWidget();
        if (!to)
            return false;
        QKeyEvent down(QEvent::KeyPress, k, mods, text), up(QEvent::KeyRelease, k, mods, text);
        QCoreApplication::sendEvent(to, &down);
        QCoreApplication::sendEvent(to, &up);
        return true;
    };
    t.restart();
    for (int i = 0; i < kPresses; ++i) {
        const bool back = (i / (kWritten * kStudents - 1)) % 2;
        if (!key(Qt::Key_7, Qt::NoModifier, QStringLiteral("7"))
            || !key(Qt::Key_Return, back ? Qt::ShiftModifier : Qt::NoModifier, QString()))
            return 1;  // 评分 lost the focus: the keyboard path is broken
        QCoreApplication::processEvents();
    }
    const double typed = t.nsecsElapsed() / 1e6 / kPresses;

    QTextBrowser a, b, c;
    a.show(), b.show(), c.show();
    const QString tp = QString::fromUtf8(text_of(10000, "题目")), ta = QString::fromUtf8(text_of(10000, "标准答案")),
                  ts = QString::fromUtf8(text_of(10000, "学生答案"));
    t.restart();
    for (int i = 0; i < kPresses; ++i) {
        a.setText(i % 2 ? tp : tp + QLatin1Char(' '));
        b.setText(i % 2 ? ta : ta + QLatin1Char(' '));
        c.setPlainText(i % 2 ? ts : ts + QLatin1Char(' '));
        QCoreApplication::processEvents();
    }
    const double floor = t.nsecsElapsed() / 1e6 / kPresses;
    std::printf("one marking press with 10000-byte texts, mean of %d presses\n", kPresses);
    std::printf("  three bare text browsers set (floor): %7.3f ms\n", floor);
    std::printf("  press of 下一题/上一题:                %7.3f ms  (%.2fx the floor)\n", bare, bare / floor);
    std::printf("  the same press with the library:       %7.3f ms  (%.2fx the floor; slowest %.3f ms)\n", with_library,
                with_library / floor, worst_ns / 1e6);
    std::printf("  the same, question by question:        %7.3f ms  (%.2fx the floor)\n", by_question,
                by_question / floor);
    std::printf("  a score typed and Enter:               %7.3f ms  (%.2fx the floor)\n", typed, typed / floor);
    std::printf("an exam of 1000 students x 100 written questions (100000 marks), best of 5\n");
    std::printf("  bare SQLite reading the same rows (floor): %7.1f ms\n", bare_read);
    std::printf("  reopened in a running velora:              %7.1f ms  (%.2fx the floor)\n", exam_only,
                exam_only / bare_read);
    std::printf("  at start: library opened, checked, exam:   %7.1f ms  (%.2fx the floor; the open and its quick_check "
                "%.1f ms)\n",
                reopen, reopen / bare_read, opening);
    std::printf("the library's commit of one mark alone:      %7.3f ms\n", commit);
    return 0;
}
