// One press of "下一题" through the real window with 10 000-byte question,
// standard and student texts, against setting the same three texts into
// bare text browsers (the floor) in the same run; the same press with its
// changed mark appended to the mark journal and synced to the disk; and the
// walk at the keyboard: a score typed into 评分 and Enter (Shift+Enter back),
// up to the next item shown with the field ready for typing.
#include "app/velora.h"
#include "exam/exam_identity.h"
#include "marking/mark_journal.h"

#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>

#include <algorithm>
#include <cstdio>

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

    velora w;
    w.show();
    auto field = [&](const char *name) { return w.findChild<QLineEdit *>(QLatin1String(name)); };
    auto button = [&](const char *name) { return w.findChild<QPushButton *>(QLatin1String(name)); };
    field("problemfile_input")->setText(dir.filePath(QStringLiteral("p.txt")));
    button("problemfile_button")->click();
    field("ansfile_input")->setText(dir.filePath(QStringLiteral("a.txt")));
    button("ansfile_button")->click();
    field("stufile_input")->setText(dir.filePath(QStringLiteral("r.txt")));
    button("stufile_button")->click();

    // The marking tab in front, and every press laid out and painted before the next.
    w.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentIndex(1);
    QCoreApplication::processEvents();
    // Forwards over all 8 items, back again, and so on; every press stores
    // another mark than the item held.
    QDoubleSpinBox *pin_fen = w.findChild<QDoubleSpinBox *>(QStringLiteral("pin_fen"));
    auto press = [&](int i) {
        pin_fen->setValue((i % 19) * 0.5);
        button((i / (kWritten * kStudents - 1)) % 2 ? "last" : "next")->click();
        QCoreApplication::processEvents();
    };
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < kPresses; ++i)
        press(i);
    const double bare = t.nsecsElapsed() / 1e6 / kPresses;

    // The journal on this machine's disk, in a folder of its own.
    MarkJournal journal;
    const JournalError opened = journal.open(dir.filePath(QStringLiteral("journal")), exam_identity(exam_store));
    if (!opened.ok()) {
        std::fprintf(stderr, "journal: %s\n", qPrintable(journal_error_message(opened)));
        return 1;
    }
    qint64 worst_ns = 0;
    QElapsedTimer one;
    t.restart();
    for (int i = 0; i < kPresses; ++i) {
        const int s = exam_store.cur_stu, q = exam_store.cur_pro;
        one.start();
        press(i + 1);  // a value other than the one the first run left
        if (!journal.record_mark(s, q, exam_store.stu_score[s][exam_store.xuan_count + q]).ok())
            return 1;
        const qint64 ns = one.nsecsElapsed();
        worst_ns = std::max(worst_ns, ns);
    }
    const double with_journal = t.nsecsElapsed() / 1e6 / kPresses;
    // The journal's append and sync alone, items taken in turn (4 items, each changed every time).
    t.restart();
    for (int i = 0; i < kPresses; ++i)
        if (!journal.record_mark(1 + i % kStudents, 1 + i % kWritten, 1 + 0.5 * ((i / 4) % 2)).ok())
            return 1;
    const double append = t.nsecsElapsed() / 1e6 / kPresses;
    journal.remove();

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
    std::printf("  the same press with the journal:       %7.3f ms  (%.2fx the floor; slowest %.3f ms)\n", with_journal,
                with_journal / floor, worst_ns / 1e6);
    std::printf("  journal append and sync alone:         %7.3f ms\n", append);
    std::printf("  a score typed and Enter:               %7.3f ms  (%.2fx the floor)\n", typed, typed / floor);
    return 0;
}
