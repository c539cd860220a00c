// Marking through the real window: loads by the buttons, the walk over every
// written answer, boundaries, stored marks, reloads, refusals shown to the
// teacher, and one exam from examples/ marked as a teacher would.
#include "app/velora.h"
#include "exam/exam_identity.h"
#include "exam/exam_store.h"
#include "marking/scoring.h"
#include "tests/support/biff_reader.h"
#include "tests/support/exam_fixtures.h"
#include "tests/support/files.h"
#include "tests/support/store_checksum.h"
#include "tests/support/xlsx_reader.h"

#include <QDir>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLCDNumber>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolTip>
#include <QtEndian>
#include <QtTest>

#include <sqlite3.h>

#include <cstring>
#include <memory>

namespace {

// 3 students x 4 written questions, after 2 choice questions.
const double kMax[4] = {5, 10, 7.5, 20};

QByteArray problem_3x4()
{
    return "2 4\n2 2 5 10 7.5 20\n"
           "@choice one$ @choice two$\n"
           "@第1题：简述光合作用。$\n@Q2 <b>bold</b>$\n@Q3$\n@Q4$\n";
}

QString answer_text(int s, int q)
{
    if (s == 2 && q == 2)
        return QStringLiteral("<b>not bold</b> & <i>x</i>");  // must be shown literally
    return QStringLiteral("学生%1的第%2题答案").arg(s).arg(q);
}

QByteArray sheet(int s)
{
    QByteArray b = "AB\n";
    for (int q = 1; q <= 4; ++q)
        b += "@" + answer_text(s, q).toUtf8() + "$\n";
    return b;
}

// How many marks the library file holds, read with SQLite alone.
int library_mark_count(const QString &path)
{
    sqlite3 *db = nullptr;
    int n = -1;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *q = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM mark", -1, &q, nullptr) == SQLITE_OK
            && sqlite3_step(q) == SQLITE_ROW)
            n = sqlite3_column_int(q, 0);
        sqlite3_finalize(q);
    }
    sqlite3_close(db);
    return n;
}


class Window {
public:
    explicit Window(ExamStore &st) : w(st) { w.show(); }
    template <class T> T *get(const char *name) { return w.findChild<T *>(QString::fromLatin1(name)); }
    void press(const char *button)
    {
        get<QPushButton>(button)->click();
        // Unless a test asks for it, answers left unmarked are exported as they are.
        if (qstrcmp(button, "print_button") == 0 && !keep_unmarked_box)
            for (QMessageBox *m : messages())
                if (m->windowTitle() == QStringLiteral("还有答案没有评分"))
                    for (QAbstractButton *b : m->buttons())
                        if (b->text() == QStringLiteral("仍然导出"))
                            b->click();
    }
    bool keep_unmarked_box = false;
    void load(const char *field, const char *button, const QString &path)
    {
        get<QLineEdit>(field)->setText(path);
        press(button);
    }
    int item() { return get<QLCDNumber>("had_num")->intValue(); }
    int progress() { return get<QProgressBar>("jindu")->value(); }
    QDoubleSpinBox *spin() { return get<QDoubleSpinBox>("pin_fen"); }
    QString student_answer() { return get<QTextBrowser>("stu_out")->toPlainText(); }
    QList<QMessageBox *> messages()
    {
        QList<QMessageBox *> open;
        for (QMessageBox *m : w.findChildren<QMessageBox *>())
            if (m->isVisible())
                open << m;
        return open;
    }
    void close_messages()
    {
        for (QMessageBox *m : messages())
            m->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    velora w;
};

}  // namespace

class TestMarking : public QObject {
    Q_OBJECT

private slots:
    void init();
    void presses_before_any_roster();
    void walk_forwards_and_back();
    void boundaries();
    void spin_box_bounds_data();
    void spin_box_bounds();
    void typed_marks_data();
    void typed_marks();
    void reload_keeps_marks();
    void fewer_questions_later();
    void refused_loads_keep_everything_data();
    void refused_loads_keep_everything();
    void missing_sheets_are_listed();
    void no_items();
    void lcd_shows_full_capacity();
    void reload_shows_the_item_at_once();
    void mark_on_screen_stored_first_data();
    void mark_on_screen_stored_first();
    void notices_after_loads_data();
    void notices_after_loads();
    void buttons_in_chinese();
    void examples_end_to_end_data();
    void examples_end_to_end();
    void analysis_of_the_press();
    void open_workbook_asked_data();
    void open_workbook_asked();
    void marks_belong_to_their_exam_data();
    void marks_belong_to_their_exam();
    void killed_while_marking_data();
    void killed_while_marking();
    void load_orders_data();
    void load_orders();

private:
    // The exam loaded through the buttons, as a teacher would.
    void load_exam(Window &win);

    std::unique_ptr<QTemporaryDir> files;  // each test function's own exam files
    QString problem, answer, roster;
    ExamStorePtr st;  // each test function's own store
};

void TestMarking::init()
{
    isolate_user_data();
    st = make_blank_store();
    files = std::make_unique<QTemporaryDir>();
    QVERIFY(files->isValid());
    problem = files->filePath(QStringLiteral("problem.txt"));
    answer = files->filePath(QStringLiteral("answer.txt"));
    roster = files->filePath(QStringLiteral("班级/roster.txt"));
    QVERIFY(write_file(problem, problem_3x4()));
    QVERIFY(write_file(answer, "AB\n@std1$@std2$@std3$@std4$"));
    QVERIFY(write_file(roster, "3\n甲 乙\n丙\n"));
    const char *const names[3] = {"甲", "乙", "丙"};
    for (int s = 1; s <= 3; ++s)
        QVERIFY(write_file(files->filePath(QStringLiteral("班级/") + QString::fromUtf8(names[s - 1])), sheet(s)));
}

void TestMarking::load_exam(Window &win)
{
    win.load("problemfile_input", "problemfile_button", problem);
    win.load("ansfile_input", "ansfile_button", answer);
    win.load("stufile_input", "stufile_button", roster);
    QVERIFY(win.messages().isEmpty());
}

void TestMarking::presses_before_any_roster()
{
    Window win(*st);
    win.spin()->setValue(7);
    for (const char *b : {"save", "next", "last", "next"})
        win.press(b);
    QCOMPARE(st->stu_score[0][0], 0.0);
    QCOMPARE(st->stu_score[0][1], 0.0);
    QCOMPARE(st->cur_stu, 0);
    QCOMPARE(st->cur_pro, 0);
    QCOMPARE(win.progress(), 0);
    QCOMPARE(win.item(), 0);
}

void TestMarking::walk_forwards_and_back()
{
    Window win(*st);
    win.load("problemfile_input", "problemfile_button", problem);
    QCOMPARE(win.get<QLCDNumber>("xuan_number")->intValue(), 2);
    QCOMPARE(win.get<QLCDNumber>("unxuan_number")->intValue(), 4);
    win.load("ansfile_input", "ansfile_button", answer);
    win.load("stufile_input", "stufile_button", roster);
    QVERIFY(win.messages().isEmpty());
    QCOMPARE(win.get<QLCDNumber>("student_number")->intValue(), 3);
    QCOMPARE(win.get<QLCDNumber>("total_num")->intValue(), 12);

    const int progress[12] = {8, 16, 25, 33, 41, 50, 58, 66, 75, 83, 91, 100};
    for (int item = 1; item <= 12; ++item) {
        const int s = (item - 1) / 4 + 1, q = (item - 1) % 4 + 1;
        QCOMPARE(win.item(), item);
        QCOMPARE(win.progress(), progress[item - 1]);
        QCOMPARE(win.student_answer(), answer_text(s, q));
        QCOMPARE(win.get<QTextBrowser>("ans_out")->toPlainText(), QStringLiteral("std%1").arg(q));
        QCOMPARE(win.get<QLCDNumber>("highest_score")->value(), kMax[q - 1]);
        QCOMPARE(win.spin()->maximum(), kMax[q - 1]);
        QCOMPARE(win.spin()->value(), 0.0);  // never marked yet
        win.spin()->setValue(item * 0.25);
        if (item < 12)
            win.press("next");
    }
    QCOMPARE(win.get<QTextBrowser>("pro_out")->toPlainText(), QStringLiteral("Q4"));
    // Every press stored first: walking back shows each value again.
    for (int item = 12; item >= 1; --item) {
        if (item < 12)
            win.press("last");
        QCOMPARE(win.item(), item);
        QCOMPARE(win.progress(), progress[item - 1]);
        QCOMPARE(win.spin()->value(), item * 0.25);
    }
    for (int item = 1; item <= 12; ++item)
        QCOMPARE(st->stu_score[(item - 1) / 4 + 1][2 + (item - 1) % 4 + 1], item * 0.25);
    // Question text is the teacher's and may be rich text; the student's never is.
    win.press("next");
    QCOMPARE(win.get<QTextBrowser>("pro_out")->toPlainText(), QStringLiteral("Q2 bold"));
    win.press("next"), win.press("next"), win.press("next"), win.press("next");
    QCOMPARE(win.item(), 6);
    QCOMPARE(win.student_answer(), QStringLiteral("<b>not bold</b> & <i>x</i>"));
    // Choice slots are never written by marking.
    QCOMPARE(st->stu_score[1][1], 0.0);
    QCOMPARE(st->stu_score[1][2], 0.0);
}

void TestMarking::boundaries()
{
    Window win(*st);
    load_exam(win);
    // "上一题" on the first item stores and changes nothing else.
    win.spin()->setValue(4.5);
    win.press("last");
    QCOMPARE(st->stu_score[1][3], 4.5);
    QCOMPARE(win.item(), 1);
    QCOMPARE(win.progress(), 8);
    QCOMPARE(win.spin()->value(), 4.5);
    QCOMPARE(st->cur_stu, 1);
    QCOMPARE(st->cur_pro, 1);
    // "保存结果" stores and changes no widget.
    win.spin()->setValue(3.25);
    win.press("save");
    QCOMPARE(st->stu_score[1][3], 3.25);
    QCOMPARE(win.item(), 1);
    // Across a student: (1,4) -> (2,1) and back.
    for (int i = 0; i < 4; ++i)
        win.press("next");
    QCOMPARE(st->cur_stu, 2);
    QCOMPARE(st->cur_pro, 1);
    win.press("last");
    QCOMPARE(st->cur_stu, 1);
    QCOMPARE(st->cur_pro, 4);
    // "下一题" on the last item stores there and stays.
    for (int i = 0; i < 20; ++i)
        win.press("next");
    QCOMPARE(win.item(), 12);
    win.spin()->setValue(19.5);
    win.press("next");
    QCOMPARE(st->stu_score[3][6], 19.5);
    QCOMPARE(win.item(), 12);
    QCOMPARE(win.progress(), 100);
    QCOMPARE(st->cur_stu, 3);
    QCOMPARE(st->cur_pro, 4);
}

void TestMarking::spin_box_bounds_data()
{
    QTest::addColumn<int>("question");
    QTest::addColumn<double>("typed");
    QTest::addColumn<double>("stored");
    QTest::newRow("within") << 2 << 9.5 << 9.5;
    QTest::newRow("above the maximum") << 1 << 50.0 << 5.0;
    QTest::newRow("below zero") << 3 << -3.0 << 0.0;
    QTest::newRow("more decimals than shown") << 3 << 7.456 << 7.46;
}

void TestMarking::spin_box_bounds()
{
    QFETCH(int, question);
    QFETCH(double, typed);
    QFETCH(double, stored);
    Window win(*st);
    load_exam(win);
    for (int i = 1; i < question; ++i)
        win.press("next");
    QCOMPARE(win.spin()->minimum(), 0.0);
    QCOMPARE(win.spin()->maximum(), kMax[question - 1]);
    win.spin()->setValue(typed);
    win.press("save");
    QCOMPARE(st->stu_score[1][2 + question], stored);
}

// Marking at the keyboard, key events sent where the focus is. Steps: "type
// TEXT", "enter", "shift enter", "up" (the arrow key), "backspace", "save".
void TestMarking::typed_marks_data()
{
    QTest::addColumn<double>("third_max");  // the third written question's maximum
    QTest::addColumn<int>("item");          // the item typed at, reached by Enter
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<double>("stored");  // that item's mark afterwards
    QTest::addColumn<int>("after");      // the item shown afterwards
    QTest::addColumn<QString>("told");   // in the tooltip beside 评分; empty: none
    QTest::newRow("a score and Enter") << 7.5 << 2 << QStringList{"type 9.5", "enter"} << 9.5 << 3 << "";
    QTest::newRow("Shift+Enter goes back") << 7.5 << 2 << QStringList{"type 3", "shift enter"} << 3.0 << 1 << "";
    QTest::newRow("Enter at the last item stores and stays")
        << 7.5 << 12 << QStringList{"type 19.5", "enter"} << 19.5 << 12 << "";
    QTest::newRow("typing replaces the score shown")
        << 7.5 << 2 << QStringList{"type 4", "enter", "shift enter", "type 6", "enter"} << 6.0 << 3 << "";
    QTest::newRow("above the maximum of a 10-point item")
        << 7.5 << 2 << QStringList{"type 12", "enter"} << 0.0 << 2 << "本题满分 10 分";
    QTest::newRow("above the maximum of a 4.5-point item: the old mark stays")
        << 4.5 << 3 << QStringList{"type 2", "enter", "shift enter", "type 5", "enter"} << 2.0 << 3
        << "本题满分 4.5 分";
    QTest::newRow("a third decimal") << 7.5 << 3 << QStringList{"type 2.255", "enter"} << 0.0 << 3 << "“2.255”";
    QTest::newRow("a minus sign") << 7.5 << 1 << QStringList{"type -1", "shift enter"} << 0.0 << 1 << "本题满分 5 分";
    QTest::newRow("保存结果 after a refusal stores nothing")
        << 7.5 << 2 << QStringList{"type 7", "save", "type 12", "save"} << 7.0 << 2 << "本题满分 10 分";
    QTest::newRow("retyped after a refusal")
        << 7.5 << 2 << QStringList{"type 12", "enter", "type 8", "enter"} << 8.0 << 3 << "";
    QTest::newRow("retyped after a refusal at the last item")
        << 7.5 << 12 << QStringList{"type 21", "enter", "type 20", "enter"} << 20.0 << 12 << "";
    QTest::newRow("mended with Backspace")
        << 7.5 << 2 << QStringList{"type 12", "backspace", "type 2", "enter"} << 2.0 << 3 << "";
    QTest::newRow("the arrow sets a whole value")
        << 7.5 << 2 << QStringList{"type 12", "up", "enter"} << 2.0 << 3 << "";
    QTest::newRow("7.5 on a 6-point item: its 7 refused, nothing stored")
        << 6.0 << 3 << QStringList{"type 7.5", "enter"} << 0.0 << 3 << "本题满分 6 分";
    QTest::newRow("Ctrl+Enter skips the answers already marked")
        << 7.5 << 2 << QStringList{"type 3", "shift enter", "ctrl enter"} << 3.0 << 3 << "";
}

void TestMarking::typed_marks()
{
    QFETCH(double, third_max);
    QFETCH(int, item);
    QFETCH(QStringList, steps);
    QFETCH(double, stored);
    QFETCH(int, after);
    QFETCH(QString, told);
    QToolTip::hideText();
    QVERIFY(write_file(problem, QByteArray(problem_3x4()).replace("7.5", QByteArray::number(third_max))));
    Window win(*st);
    QVERIFY(QTest::qWaitForWindowActive(&win.w));
    load_exam(win);
    auto *edit = win.spin()->findChild<QLineEdit *>();
    // 评分 holds the focus with its whole text selected, so typing replaces it.
    auto ready = [&] {
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(win.spin()));
        QCOMPARE(edit->selectedText(), edit->text());
    };
    auto key = [&](Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), k, mods);
    };
    ready();
    // Coming back to the marking tab brings the focus back to 评分.
    auto *tabs = win.get<QTabWidget>("tabWidget");
    tabs->setCurrentIndex(0);
    QVERIFY(QApplication::focusWidget() != win.spin());
    tabs->setCurrentWidget(win.get<QWidget>("test"));
    ready();
    for (int i = 1; i < item; ++i) {
        key(Qt::Key_Enter);  // the keypad's
        ready();
    }
    QCOMPARE(win.item(), item);
    const int s = (item - 1) / 4 + 1, slot = 2 + (item - 1) % 4 + 1;
    for (const QString &step : steps) {
        if (step.startsWith(QLatin1String("type ")))
            QTest::keyClicks(QApplication::focusWidget(), step.mid(5));
        else if (step == QLatin1String("enter") || step == QLatin1String("shift enter"))
            key(Qt::Key_Return, step == QLatin1String("enter") ? Qt::NoModifier : Qt::ShiftModifier), ready();
        else if (step == QLatin1String("ctrl enter"))
            key(Qt::Key_Return, Qt::ControlModifier), ready();
        else if (step == QLatin1String("up"))
            key(Qt::Key_Up);
        else if (step == QLatin1String("backspace"))
            key(Qt::Key_Backspace);
        else
            win.press(qPrintable(step)), ready();
    }
    QCOMPARE(st->stu_score[s][slot], stored);
    QCOMPARE(win.item(), after);
    if (told.isEmpty()) {
        // A refusal told earlier is gone once a mark is stored (the tip fades out).
        QTRY_VERIFY_WITH_TIMEOUT(!QToolTip::isVisible() || !QToolTip::text().contains(QStringLiteral("满分")), 2000);
    } else {
        QVERIFY(QToolTip::isVisible());
        QVERIFY2(QToolTip::text().contains(told), qPrintable(QToolTip::text()));
    }
    QVERIFY(win.messages().isEmpty());
    QVERIFY(win.w.statusBar()->currentMessage().isEmpty());
    QToolTip::hideText();
}

void TestMarking::reload_keeps_marks()
{
    Window win(*st);
    load_exam(win);
    win.spin()->setValue(4);
    win.press("next");
    win.spin()->setValue(8);
    win.press("next");
    win.load("ansfile_input", "ansfile_button", answer);
    win.load("problemfile_input", "problemfile_button", problem);
    win.load("stufile_input", "stufile_button", roster);
    // The same exam again: the teacher stays at the answer she was on, every mark kept.
    QCOMPARE(win.item(), 3);
    win.press("last");
    QCOMPARE(win.spin()->value(), 8.0);
    win.press("last");
    QCOMPARE(win.spin()->value(), 4.0);
    QCOMPARE(st->stu_score[1][3], 4.0);
}

void TestMarking::fewer_questions_later()
{
    Window win(*st);
    win.load("problemfile_input", "problemfile_button", problem);
    win.load("stufile_input", "stufile_button", roster);
    for (int i = 0; i < 11; ++i)
        win.press("next");
    QCOMPARE(st->cur_pro, 4);
    QCOMPARE(st->cur_stu, 3);
    // Two written questions now: the cursor must come back inside the items.
    const QString smaller = files->filePath(QStringLiteral("small.txt"));
    QVERIFY(write_file(smaller, "2 2\n1 1 3 4\n@a$@b$@c$@d$"));
    win.load("problemfile_input", "problemfile_button", smaller);
    win.spin()->setValue(1);
    for (int i = 0; i < 5; ++i)
        win.press("next");
    QVERIFY(st->cur_pro >= 1 && st->cur_pro <= 2);
    QVERIFY(st->cur_stu >= 1 && st->cur_stu <= 3);
    QVERIFY(win.progress() <= 100);
    QCOMPARE(win.item(), 6);
    QCOMPARE(win.get<QLCDNumber>("total_num")->intValue(), 6);
    for (int i = 0; i < 10; ++i)
        win.press("last");
    QCOMPARE(win.item(), 1);
    QCOMPARE(st->cur_pro, 1);
    win.load("problemfile_input", "problemfile_button", problem);
}

void TestMarking::refused_loads_keep_everything_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("content");  // empty: the file does not exist
    QTest::newRow("missing problem file") << "problemfile_input"
                                          << "problemfile_button" << QByteArray();
    QTest::newRow("score not a number") << "problemfile_input"
                                        << "problemfile_button" << QByteArray("1 1\n2 x\n@a$@b$");
    QTest::newRow("problem text never ends") << "problemfile_input"
                                             << "problemfile_button" << QByteArray("0 1 5 @abc");
    QTest::newRow("missing answer file") << "ansfile_input"
                                         << "ansfile_button" << QByteArray();
    QTest::newRow("missing roster") << "stufile_input"
                                    << "stufile_button" << QByteArray();
    QTest::newRow("roster count not a number") << "stufile_input"
                                               << "stufile_button" << QByteArray("three\nA B C");
}

void TestMarking::refused_loads_keep_everything()
{
    QFETCH(QString, field);
    QFETCH(QString, button);
    QFETCH(QByteArray, content);
    Window win(*st);
    win.load("problemfile_input", "problemfile_button", problem);
    win.load("stufile_input", "stufile_button", roster);
    win.press("next");
    QVERIFY(win.messages().isEmpty());

    const QString bad = files->filePath(QStringLiteral("bad/") + QString::fromLatin1(QTest::currentDataTag()));
    if (!content.isEmpty())
        QVERIFY(write_file(bad, content));
    win.get<QLineEdit>(qPrintable(field))->setText(bad);
    win.press(qPrintable(button));

    const QList<QMessageBox *> shown = win.messages();
    QCOMPARE(shown.size(), 1);
    QVERIFY(!shown.first()->isModal() || shown.first()->windowModality() == Qt::WindowModal);
    QVERIFY2(shown.first()->text().contains(bad), qPrintable(shown.first()->text()));
    QCOMPARE(st->xuan_count, 2);
    QCOMPARE(st->unxuan_count, 4);
    QCOMPARE(st->stu_count, 3);
    QCOMPARE(win.get<QLCDNumber>("unxuan_number")->intValue(), 4);
    QCOMPARE(win.get<QLCDNumber>("student_number")->intValue(), 3);
    QCOMPARE(win.item(), 2);
    QCOMPARE(QByteArray(st->stu_name[2]), QByteArray("乙"));
    win.close_messages();
}

void TestMarking::missing_sheets_are_listed()
{
    const QString r = files->filePath(QStringLiteral("gaps/roster.txt"));
    QVERIFY(write_file(r, "3 有卷 无卷 短卷"));
    QVERIFY(write_file(files->filePath(QStringLiteral("gaps/有卷")), sheet(1)));
    QVERIFY(write_file(files->filePath(QStringLiteral("gaps/短卷")), "AB\n@only one$"));
    Window win(*st);
    win.load("problemfile_input", "problemfile_button", problem);
    win.load("stufile_input", "stufile_button", r);
    QCOMPARE(win.get<QLCDNumber>("student_number")->intValue(), 3);
    QCOMPARE(win.get<QLCDNumber>("total_num")->intValue(), 12);
    const QList<QMessageBox *> shown = win.messages();
    QCOMPARE(shown.size(), 1);
    const QString text = shown.first()->text();
    QVERIFY2(text.contains(QStringLiteral("无卷")) && text.contains(QStringLiteral("短卷")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("有卷")), qPrintable(text));
    // The student without a sheet still has items, with empty answers.
    for (int i = 0; i < 4; ++i)
        win.press("next");
    QCOMPARE(win.item(), 5);
    QCOMPARE(win.student_answer(), QString());
    win.close_messages();
}

void TestMarking::no_items()
{
    const QString empty = files->filePath(QStringLiteral("none/roster.txt"));
    QVERIFY(write_file(empty, "0\n"));
    Window win(*st);
    win.load("problemfile_input", "problemfile_button", problem);
    win.load("stufile_input", "stufile_button", empty);
    QCOMPARE(win.get<QLCDNumber>("student_number")->intValue(), 0);
    QCOMPARE(win.get<QLCDNumber>("total_num")->intValue(), 0);
    win.spin()->setValue(3);
    for (const char *b : {"save", "next", "last"})
        win.press(b);
    QCOMPARE(win.progress(), 0);
    QCOMPARE(st->stu_score[1][3], 0.0);
    QCOMPARE(st->stu_score[0][3], 0.0);
}

void TestMarking::lcd_shows_full_capacity()
{
    // 1000 students x 100 written questions: 100 000 items, one digit more than the LCD's default.
    QTemporaryDir big;
    QByteArray p = "0 100\n";
    for (int q = 0; q < 100; ++q)
        p += "1 ";
    for (int q = 0; q < 100; ++q)
        p += "@q$";
    QVERIFY(write_file(big.filePath(QStringLiteral("p.txt")), p));
    QByteArray r = "1000\n";
    for (int s = 1; s <= 1000; ++s)
        r += "s" + QByteArray::number(s) + " ";
    QVERIFY(write_file(big.filePath(QStringLiteral("r.txt")), r));
    QByteArray answers;
    for (int q = 0; q < 100; ++q)
        answers += "@a$";
    for (int s = 1; s <= 1000; ++s)
        QVERIFY(write_file(big.filePath(QStringLiteral("s%1").arg(s)), answers));
    Window win(*st);
    win.load("problemfile_input", "problemfile_button", big.filePath(QStringLiteral("p.txt")));
    win.load("stufile_input", "stufile_button", big.filePath(QStringLiteral("r.txt")));
    QVERIFY(win.messages().isEmpty());
    auto *total = win.get<QLCDNumber>("total_num");
    QCOMPARE(total->intValue(), 100000);
    QVERIFY(!total->checkOverflow(100000));
    auto *students = win.get<QLCDNumber>("student_number");
    QCOMPARE(students->intValue(), 1000);
    st->cur_stu = 1000;
    st->cur_pro = 99;
    win.press("next");
    auto *had = win.get<QLCDNumber>("had_num");
    QCOMPARE(had->intValue(), 100000);
    QVERIFY(!had->checkOverflow(100000));
    QCOMPARE(win.progress(), 100);
    win.load("problemfile_input", "problemfile_button", problem);
}

void TestMarking::reload_shows_the_item_at_once()
{
    Window win(*st);
    load_exam(win);
    win.press("next");        // student 1, written question 2: slot 2 + 2
    win.spin()->setValue(7);  // typed, not yet stored
    // The same exam with a corrected text, as the teacher says: its marks stay.
    const QString fixed = files->filePath(QStringLiteral("fixed.txt"));
    QVERIFY(write_file(fixed, "2 4\n2 2 5 10 7.5 20\n@choice one$ @choice two$\n@第1题：简述光合作用。$\n@新2$\n@Q3$\n@Q4$\n"));
    win.load("problemfile_input", "problemfile_button", fixed);
    QCOMPARE(win.messages().size(), 1);
    QVERIFY2(win.messages().first()->text().contains(QStringLiteral("非选择题2")), qPrintable(win.messages().first()->text()));
    for (QAbstractButton *b : win.messages().first()->buttons())
        if (b->text() == QStringLiteral("同一场考试（保留评分）"))
            b->click();
    QTRY_VERIFY(win.messages().isEmpty());
    QCOMPARE(st->stu_score[1][4], 7.0);  // stored for the item that was on screen
    QCOMPARE(win.get<QTextBrowser>("pro_out")->toPlainText(), QStringLiteral("新2"));
    QCOMPARE(win.get<QLCDNumber>("highest_score")->value(), 10.0);
    QCOMPARE(win.spin()->maximum(), 10.0);
    QCOMPARE(win.spin()->value(), 7.0);
    QCOMPARE(win.item(), 2);
    QCOMPARE(win.progress(), 16);
    QCOMPARE(win.get<QLCDNumber>("total_num")->intValue(), 12);
    // A corrected standard answer shows at once too, after the typed mark is stored.
    win.spin()->setValue(5.5);
    QVERIFY(write_file(answer, "AB\n@新std1$@新std2$@新std3$@新std4$"));
    win.load("ansfile_input", "ansfile_button", answer);
    QCOMPARE(st->stu_score[1][4], 5.5);
    QCOMPARE(win.get<QTextBrowser>("ans_out")->toPlainText(), QStringLiteral("新std2"));
    QCOMPARE(win.spin()->value(), 5.5);
    // A refused load stores nothing and changes nothing on the tab.
    win.spin()->setValue(1);
    win.load("problemfile_input", "problemfile_button", files->filePath(QStringLiteral("no such file")));
    QCOMPARE(win.messages().size(), 1);
    win.close_messages();
    QCOMPARE(st->stu_score[1][4], 5.5);
    QCOMPARE(win.spin()->value(), 1.0);
    QCOMPARE(win.get<QTextBrowser>("pro_out")->toPlainText(), QStringLiteral("新2"));
    // Fewer written questions make another exam, asked first.
    for (int i = 0; i < 10; ++i)
        win.press("next");
    QCOMPARE(win.item(), 12);
    const QString two = files->filePath(QStringLiteral("two.txt"));
    QVERIFY(write_file(two, "3 2\n2 2 2 6 9\n@c1$@c2$@c3$@甲$@乙$"));
    win.load("problemfile_input", "problemfile_button", two);
    QCOMPARE(win.messages().size(), 1);
    for (QAbstractButton *b : win.messages().first()->buttons())
        if (b->text() == QStringLiteral("继续"))
            b->click();
    QTRY_VERIFY(win.messages().isEmpty());
    QCOMPARE(st->stu_score[1][4], 0.0);  // the other exam's marks are not this one's
    QCOMPARE(win.spin()->value(), 0.0);
    QCOMPARE(win.get<QLCDNumber>("total_num")->intValue(), 6);
    // A new exam begins at its first answer, shown at once.
    QCOMPARE(win.item(), 1);
    QCOMPARE(win.get<QTextBrowser>("pro_out")->toPlainText(), QStringLiteral("甲"));
    QCOMPARE(win.student_answer(), answer_text(1, 1));
}

void TestMarking::mark_on_screen_stored_first_data()
{
    QTest::addColumn<int>("item");       // the item on screen, 1 .. 12 (student-major)
    QTest::addColumn<QString>("press");  // what is pressed with a mark typed but not stored
    QTest::newRow("统计分数 on the last item") << 12 << "tongji_button";
    QTest::newRow("统计分数 on a middle item") << 6 << "tongji_button";
    QTest::newRow("problem reload on a student's last question") << 4 << "problemfile_button";
    QTest::newRow("answer reload on a student's last question") << 8 << "ansfile_button";
    QTest::newRow("problem reload on the last item") << 12 << "problemfile_button";
}

void TestMarking::mark_on_screen_stored_first()
{
    QFETCH(int, item);
    QFETCH(QString, press);
    Window win(*st);
    load_exam(win);
    for (int i = 1; i < item; ++i)
        win.press("next");
    QCOMPARE(win.item(), item);
    const int s = (item - 1) / 4 + 1, q = (item - 1) % 4 + 1;
    win.spin()->setValue(4.5);  // typed, no marking press
    win.press(qPrintable(press));
    QVERIFY(win.messages().isEmpty());
    QCOMPARE(st->stu_score[s][2 + q], 4.5);
    QCOMPARE(win.item(), item);
    QCOMPARE(win.spin()->value(), 4.5);
    if (press == QLatin1String("tongji_button")) {
        // The table shows it, in the answer's column and in the total (both choices right).
        auto *table = win.get<QTableWidget>("score_show");
        QCOMPARE(table->item(s - 1, 2 + 2 + q - 1)->text(), QStringLiteral("4.50"));
        QCOMPARE(table->item(s - 1, 1)->text(), QStringLiteral("8.50"));
    }
}

void TestMarking::notices_after_loads_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("content");    // of the file loaded, in the class directory
    QTest::addColumn<QStringList>("in_order");  // what the one box says, in this order
    const QString gbk_note = QStringLiteral("似乎不是 UTF-8 编码（可能是 GBK）");
    const QString save_as = QStringLiteral("“另存为”，在“编码”中选择 UTF-8");
    QTest::newRow("gbk problem file") << "problemfile_input"
                                      << "problemfile_button"
                                      << "0 1 5 @" + gbk(QStringLiteral("简述光合作用。")) + "$"
                                      << QStringList{QStringLiteral("试题文件“"), gbk_note, save_as};
    QTest::newRow("gbk roster") << "stufile_input"
                                << "stufile_button"
                                << "2 " + gbk(QStringLiteral("甲")) + " " + gbk(QStringLiteral("乙"))
                                << QStringList{QStringLiteral("学生名单文件“"),
                                               gbk_note,
                                               QStringLiteral("这就是下面 2 名学生“找不到答卷文件”的原因"),
                                               save_as,
                                               QStringLiteral("以下学生的答卷缺失或不完整"),
                                               QStringLiteral("找不到答卷文件")};
    QTest::newRow("more names than the count")
        << "stufile_input"
        << "stufile_button" << QByteArray("2\n甲 乙\n丙\n")
        << QStringList{QStringLiteral("学生名单文件“"),
                       QStringLiteral("人数是 2，后面却列出了 3 个名字；只导入了前 2 名学生，没有导入：丙。")};
}

void TestMarking::notices_after_loads()
{
    QFETCH(QString, field);
    QFETCH(QString, button);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, in_order);
    QVERIFY(!gbk(QStringLiteral("甲")).isEmpty());
    const QString path = files->filePath(QStringLiteral("班级/told.txt"));
    QVERIFY(write_file(path, content));
    Window win(*st);
    win.load("problemfile_input", "problemfile_button", problem);
    win.load(qPrintable(field), qPrintable(button), path);
    const QList<QMessageBox *> shown = win.messages();
    QCOMPARE(shown.size(), 1);
    const QString text = shown.first()->text();
    QVERIFY2(text.contains(path), qPrintable(text));
    int at = 0;
    for (const QString &part : in_order) {
        const int found = text.indexOf(part, at);
        QVERIFY2(found >= 0,
                 qPrintable(part + QStringLiteral(" after ") + QString::number(at) + QStringLiteral(" in ") + text));
        at = found + part.size();
    }
    QCOMPARE(shown.first()->buttons().size(), 1);
    QCOMPARE(shown.first()->buttons().first()->text(), QStringLiteral("确定"));
    win.close_messages();
}

void TestMarking::buttons_in_chinese()
{
    // More missing sheets than the box lists: the rest goes into its details.
    QByteArray r = "20";
    for (int s = 1; s <= 20; ++s)
        r += " 无卷" + QByteArray::number(s);
    const QString path = files->filePath(QStringLiteral("many/roster.txt"));
    QVERIFY(write_file(path, r));
    Window win(*st);
    win.load("problemfile_input", "problemfile_button", problem);
    win.load("stufile_input", "stufile_button", path);
    const QList<QMessageBox *> shown = win.messages();
    QCOMPARE(shown.size(), 1);
    QMessageBox *box = shown.first();
    QVERIFY(box->detailedText().contains(QStringLiteral("无卷20")));
    QCOMPARE(box->button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    QAbstractButton *details = nullptr;
    for (QAbstractButton *b : box->buttons())
        if (box->buttonRole(b) == QMessageBox::ActionRole)
            details = b;
    QVERIFY(details);
    QCOMPARE(details->text(), QStringLiteral("显示详细信息…"));
    details->click();
    QCOMPARE(details->text(), QStringLiteral("隐藏详细信息…"));
    details->click();
    QCOMPARE(details->text(), QStringLiteral("显示详细信息…"));
    for (QAbstractButton *b : box->buttons())
        QVERIFY2(!b->text().contains(QLatin1String("Detail")) && b->text() != QLatin1String("OK"),
                 qPrintable(b->text()));
    win.close_messages();
}

void TestMarking::examples_end_to_end_data()
{
    QTest::addColumn<QString>("dir");
    QTest::newRow("utf-8") << QStringLiteral("examples/");
    // As Excel's "Unicode text" saves it: UTF-16 LE with a mark, CR LF, tabs between names.
    QTest::newRow("utf-16") << QStringLiteral("examples/utf16/");
}

void TestMarking::examples_end_to_end()
{
    QFETCH(QString, dir);
    const QString ex = QStringLiteral(VELORA_SOURCE_DIR "/") + dir;
    Window win(*st);
    win.load("problemfile_input", "problemfile_button", ex + QStringLiteral("problem.txt"));
    win.load("ansfile_input", "ansfile_button", ex + QStringLiteral("answer.txt"));
    win.load("stufile_input", "stufile_button", ex + QStringLiteral("roster.txt"));
    QVERIFY(win.messages().isEmpty());
    QCOMPARE(win.get<QLCDNumber>("xuan_number")->intValue(), 3);
    QCOMPARE(win.get<QLCDNumber>("unxuan_number")->intValue(), 2);
    QCOMPARE(win.get<QLCDNumber>("student_number")->intValue(), 4);
    QCOMPARE(win.get<QLCDNumber>("total_num")->intValue(), 8);
    QVERIFY(win.get<QTextBrowser>("pro_out")->toPlainText().contains(QStringLiteral("冰")));
    QCOMPARE(win.student_answer(), QStringLiteral("因为冰的密度比水小。"));
    // 张三: 6 and 8; 李四: 2 and 0.
    win.spin()->setValue(6);
    win.press("next");
    win.spin()->setValue(8);
    win.press("next");
    QCOMPARE(win.student_answer(), QStringLiteral("冰比水轻。"));
    win.spin()->setValue(2);
    win.press("next");
    win.press("save");

    win.press("tongji_button");
    auto *table = win.get<QTableWidget>("score_show");
    QCOMPARE(table->rowCount(), 4);
    QCOMPARE(table->columnCount(), 7);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("张三"));
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("20.00"));  // CCA all right: 6 + 14
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("李四"));
    QCOMPARE(table->item(1, 1)->text(), QStringLiteral("6.00"));  // CC right, B wrong, + 2
    QCOMPARE(table->item(3, 0)->text(), QStringLiteral("赵六"));
    QCOMPARE(table->item(3, 1)->text(), QStringLiteral("2.00"));  // "cc" is not "CC"
    QStringList totals;
    for (int row = 0; row < 4; ++row)
        totals << table->item(row, 0)->text() + QLatin1Char(' ') + table->item(row, 1)->text();
    QCOMPARE(totals, QStringList({"张三 20.00", "李四 6.00", "王五 4.00", "赵六 2.00"}));

    // A corrected mark reaches the table at the next press: 李四's first written answer 2 -> 4.
    win.press("last");
    QCOMPARE(win.spin()->value(), 2.0);
    win.spin()->setValue(4);
    win.press("save");
    win.press("tongji_button");
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("李四"));
    QCOMPARE(table->item(1, 1)->text(), QStringLiteral("8.00"));
    QCOMPARE(table->item(1, 5)->text(), QStringLiteral("4.00"));

    QTemporaryDir out;
    win.get<QLineEdit>("input_file")->setText(out.filePath(QStringLiteral("成绩")));
    win.press("print_button");
    QVERIFY(win.messages().isEmpty());
    // The workbook holds what the table shows, cell by cell: texts as texts, scores as numbers.
    QFile written(out.filePath(QStringLiteral("成绩.xlsx")));
    QVERIFY(written.open(QIODevice::ReadOnly));
    XlsxBook book;
    QString error;
    QVERIFY2(read_xlsx(written.readAll(), &book, &error), qPrintable(error));
    QCOMPARE(book.cells.size(), 5 * 7);
    for (const XlsxCell &c : book.cells) {
        const QString shown
            = c.row == 0 ? table->horizontalHeaderItem(c.col)->text() : table->item(c.row - 1, c.col)->text();
        QCOMPARE(c.numeric, c.row > 0 && c.col > 0);
        QCOMPARE(c.numeric ? format_score(c.value) : c.text, shown);
    }
    QCOMPARE(book.cells[2 * 7 + 1].value, 8.0);  // 李四's corrected total
    // A failed export tells the teacher.
    win.get<QLineEdit>("input_file")->setText(out.filePath(QStringLiteral("no/such/dir/a.xls")));
    win.press("print_button");
    QCOMPARE(win.messages().size(), 1);
    QVERIFY(win.messages().first()->text().contains(QDir::toNativeSeparators(QStringLiteral("no/such/dir/a.xls"))));
    win.close_messages();
    // A relative path is taken from the current folder, and the message names all of it.
    const QString here = QDir::currentPath();
    QVERIFY(QDir::setCurrent(out.path()));
    win.get<QLineEdit>("input_file")->setText(QStringLiteral("no/such/dir/b.xls"));
    win.press("print_button");
    QDir::setCurrent(here);
    QCOMPARE(win.messages().size(), 1);
    QVERIFY2(win.messages().first()->text().contains(
                 QDir::toNativeSeparators(out.filePath(QStringLiteral("no/such/dir/b.xls")))),
             qPrintable(win.messages().first()->text()));
    win.close_messages();
    // An empty path does nothing at all.
    win.get<QLineEdit>("input_file")->clear();
    win.press("print_button");
    QVERIFY(win.messages().isEmpty());
}

namespace {

// The .xls exported from the window, read back; empty on failure.
BiffBook exported(Window &win, const QString &path)
{
    win.get<QLineEdit>("input_file")->setText(path);
    win.press("print_button");
    QFile f(path);
    BiffBook book;
    QString error;
    if (!win.messages().isEmpty() || !f.open(QIODevice::ReadOnly) || !read_xls(f.readAll(), &book, &error))
        return BiffBook();
    return book;
}

// The number in `column` of the analysis row whose column A reads `label`; NaN if there is none.
double figure(const BiffBook &book, const QString &label, int column = 1)
{
    if (book.sheets.size() < 2)
        return std::nan("");
    int row = -1;
    for (const BiffCell &c : book.sheets.at(1).cells) {
        if (c.col == 0 && c.text == label)
            row = c.row;
        if (c.row == row && c.col == column && c.numeric)
            return c.value;
    }
    return std::nan("");
}

}  // namespace

// The analysis is the one of the last "统计分数" press: marks stored later
// and sorting the table reach the export only through the next press.
void TestMarking::analysis_of_the_press()
{
    const QString ex = QStringLiteral(VELORA_SOURCE_DIR "/examples/");
    QTemporaryDir out;
    Window win(*st);
    win.load("problemfile_input", "problemfile_button", ex + QStringLiteral("problem.txt"));
    win.load("ansfile_input", "ansfile_button", ex + QStringLiteral("answer.txt"));
    win.load("stufile_input", "stufile_button", ex + QStringLiteral("roster.txt"));
    QCOMPARE(exported(win, out.filePath(QStringLiteral("before.xls"))).sheets.size(), 1);

    const double marks[8] = {6, 8, 2, 0, 5, 7, 4, 3};
    for (int i = 0; i < 8; ++i) {
        win.spin()->setValue(marks[i]);
        win.press(i < 7 ? "next" : "save");
    }
    win.press("tongji_button");
    // Totals 20, 6, 16, 9.
    auto *table = win.get<QTableWidget>("score_show");
    table->sortItems(1, Qt::DescendingOrder);

    const BiffBook pressed = exported(win, out.filePath(QStringLiteral("pressed.xls")));
    QCOMPARE(pressed.sheets.size(), 3);
    QCOMPARE(pressed.sheets.at(1).name, QStringLiteral("成绩分析"));
    QCOMPARE(pressed.sheets.at(2).name, QStringLiteral("成绩条"));
    QCOMPARE(figure(pressed, QStringLiteral("平均分")), 12.75);
    QCOMPARE(figure(pressed, QStringLiteral("中位数")), 12.5);
    QCOMPARE(figure(pressed, QStringLiteral("非选择题1"), 2), 4.25);
    QCOMPARE(figure(pressed, QStringLiteral("选择题1"), 8), 0.0);  // 区分度: 张三 and 李四 both right

    // A mark changed after the press: 导出 asks first, and 取消 writes nothing.
    win.press("last");  // 赵六's first written answer, 4 -> 0
    win.spin()->setValue(0);
    win.press("save");
    const QString stale = out.filePath(QStringLiteral("stale.xls"));
    QCOMPARE(exported(win, stale).sheets.size(), 0);
    QCOMPARE(win.messages().size(), 1);
    QCOMPARE(win.messages().first()->defaultButton()->text(), QStringLiteral("取消"));
    QTest::keyClick(win.messages().first(), Qt::Key_Return);
    QTRY_VERIFY(win.messages().isEmpty());
    QVERIFY(!QFileInfo::exists(stale));

    win.press("tongji_button");
    const BiffBook again = exported(win, out.filePath(QStringLiteral("again.xls")));
    QCOMPARE(figure(again, QStringLiteral("平均分")), 11.75);
    QCOMPARE(figure(again, QStringLiteral("非选择题1"), 2), 3.25);
}

// A workbook a spreadsheet holds open (its lock file beside it) is replaced
// only once the teacher says so; Enter and Escape keep it. A successful
// export says in the status bar where the workbook went and for how many.
void TestMarking::open_workbook_asked_data()
{
    QTest::addColumn<QString>("lock");  // beside 成绩.xlsx; "" for none
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("LibreOffice's lock, Enter") << QStringLiteral(".~lock.成绩.xlsx#") << "enter" << false;
    QTest::newRow("Excel's or WPS's lock, Escape") << QStringLiteral("~$成绩.xlsx") << "escape" << false;
    QTest::newRow("Excel's or WPS's lock, 仍然导出") << QStringLiteral("~$成绩.xlsx") << "go" << true;
    QTest::newRow("no lock") << QString() << "" << true;
}

void TestMarking::open_workbook_asked()
{
    QFETCH(QString, lock);
    QFETCH(QString, answer);
    QFETCH(bool, replaced);
    const QString ex = QStringLiteral(VELORA_SOURCE_DIR "/examples/");
    QTemporaryDir out;
    const QString workbook = out.filePath(QStringLiteral("成绩.xlsx"));
    QVERIFY(write_file(workbook, "open in a spreadsheet"));
    if (!lock.isEmpty())
        QVERIFY(write_file(out.filePath(lock), "lock"));
    Window win(*st);
    win.load("problemfile_input", "problemfile_button", ex + QStringLiteral("problem.txt"));
    win.load("ansfile_input", "ansfile_button", ex + QStringLiteral("answer.txt"));
    win.load("stufile_input", "stufile_button", ex + QStringLiteral("roster.txt"));
    win.press("tongji_button");
    win.load("input_file", "print_button", out.filePath(QStringLiteral("成绩")));
    QCOMPARE(win.messages().size(), lock.isEmpty() ? 0 : 1);
    if (!lock.isEmpty()) {
        QMessageBox *box = win.messages().first();
        QVERIFY2(box->text().startsWith(QStringLiteral("该文件可能正被其他程序打开")), qPrintable(box->text()));
        QVERIFY(box->text().contains(QDir::toNativeSeparators(workbook)));
        QCOMPARE(box->defaultButton()->text(), QStringLiteral("取消"));
        QCOMPARE(box->escapeButton()->text(), QStringLiteral("取消"));
        if (answer == QLatin1String("go")) {
            for (QAbstractButton *b : box->buttons())
                if (b->text() == QStringLiteral("仍然导出"))
                    b->click();
        } else {
            QTest::keyClick(box, answer == QLatin1String("enter") ? Qt::Key_Return : Qt::Key_Escape);
        }
        QTRY_VERIFY(win.messages().isEmpty());
    }
    QFile kept(workbook);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll() != "open in a spreadsheet", replaced);
    const QString told = win.w.statusBar()->currentMessage();
    QCOMPARE(told.isEmpty(), !replaced);
    if (replaced)
        QVERIFY2(told.contains(QDir::toNativeSeparators(workbook)) && told.contains(QStringLiteral("4 名学生")),
                 qPrintable(told));
}

// Steps of a teacher over two classes and two papers, one window after
// another as after a crash ("restart": the window goes without closing), with
// what she sees.
void TestMarking::marks_belong_to_their_exam_data()
{
    QTest::addColumn<QStringList>("steps");
    const QString other = QStringLiteral("评分尚未导出");
    const QString found = QStringLiteral("恢复上次的评分");
    const QString mended = QStringLiteral("试题文件有改动");
    for (const char *no : {"取消", "Enter", "Escape"})
        QTest::newRow(qPrintable(QStringLiteral("another class, %1: nothing changes").arg(QLatin1String(no))))
            << QStringList{"mark 2.5",       "mark 1",      "class 二", "box " + other, QStringLiteral("answer ") + no,
                           "names 甲 乙 丙", "marks 2.5 1", "item 3"};
    QTest::newRow("another class, 继续, and back: the marks are offered again") << QStringList{"mark 2.5",
                                                                                               "mark 1",
                                                                                               "class 二",
                                                                                               "answer 继续",
                                                                                               "names T01 T02",
                                                                                               "marks 0 0",
                                                                                               "item 1",
                                                                                               "library 2",
                                                                                               "mark 3",
                                                                                               "class 一",
                                                                                               "box " + other,
                                                                                               "answer 继续",
                                                                                               "box " + found + " 2",
                                                                                               "answer 恢复",
                                                                                               "names 甲 乙 丙",
                                                                                               "marks 2.5 1",
                                                                                               "item 3",
                                                                                               "class 二",
                                                                                               "box " + other,
                                                                                               "answer 继续",
                                                                                               "box " + found + " 1",
                                                                                               "answer 恢复",
                                                                                               "marks 3"};
    QTest::newRow("exported: another class without a question, the marks kept")
        << QStringList{"mark 2.5", "export", "class 二", "none", "names T01 T02", "marks 0", "library 2"};
    QTest::newRow("quiz 2 in the same sitting starts with no marks; quiz 1 comes back")
        << QStringList{"mark 2.5", "mark 1", "export", "paper 2", "none", "marks 0 0", "mark 4",
                       "paper 1",  "box " + other, "answer 继续", "none", "marks 2.5 1"};
    QTest::newRow("quiz 2 after quiz 1 and after class 二: each slip with the class's last exam and the 年级")
        << QStringList{"mark 2.5", "mark 1", "export", "slip 学生信息 总分 名次 选择题1", "paper 2", "mark 4",
                       "class 二", "answer 继续", "export", "slip 学生信息 总分 名次 选择题1", "class 一",
                       "answer 恢复", "export", "slip 学生信息 总分 名次 上次名次 进退 年级名次 选择题1"};
    QTest::newRow("quiz 2 after a kill starts with no marks")
        << QStringList{"mark 2.5", "mark 1", "export", "restart", "paper 2", "class 一", "none", "marks 0 0"};
    QTest::newRow("a mended paper, Enter: another exam") << QStringList{
        "mark 2.5", "export", "paper mended", "box " + mended, "answer Enter", "none", "marks 0", "item 1"};
    QTest::newRow("a mended paper, the same exam: the marks stay")
        << QStringList{"mark 2.5", "paper mended", "answer 同一场考试（保留评分）", "none", "marks 2.5", "restart",
                       "paper mended", "class 一", "box " + found + " 1", "answer Enter", "marks 2.5"};
    QTest::newRow("a transfer student first in the roster: every mark stays with its student")
        << QStringList{"mark 2.5", "mark 1", "class 一+", "none", "names 丁 甲 乙 丙", "marks 0 0 0 0 2.5 1", "item 7"};
    QTest::newRow("restart: Enter recovers, at the first answer with no mark") << QStringList{
        "mark 2.5",     "mark 1",          "mark 4", "last", "mark 1.5", "restart", "class 一", "box " + found + " 3",
        "answer Enter", "marks 2.5 1 1.5", "item 5"};
    QTest::newRow("restart: 不恢复 keeps what the last workbook holds")
        << QStringList{"mark 2.5", "export", "mark 1", "restart", "class 一", "answer 不恢复", "marks 2.5",
                       "restart",  "class 一", "none", "marks 2.5"};
    QTest::newRow("restart unanswered: the marks wait for the next start")
        << QStringList{"mark 2.5",      "restart",  "class 一", "box " + found + " 1",
                       "close",         "restart",  "class 一", "box " + found + " 1",
                       "answer Escape", "marks 2.5"};
    QTest::newRow("restart after the export: the marks are back without a question")
        << QStringList{"mark 2.5", "mark 1", "export", "restart", "class 一", "none", "marks 2.5 1", "item 4"};
    QTest::newRow("a clean close keeps every mark")
        << QStringList{"mark 2.5", "export", "close", "restart", "class 一", "none", "marks 2.5"};
    QTest::newRow("退出 in the close prompt keeps them for the next start")
        << QStringList{"mark 2.5", "close", "answer 退出", "restart", "class 一", "box " + found + " 1", "answer 恢复",
                       "marks 2.5"};
    QTest::newRow("a second window on the exam loads nothing")
        << QStringList{"mark 2.5", "second", "marks 2.5", "mark 1", "restart", "class 一", "box " + found + " 2"};
    QTest::newRow("no library possible: told once, marking goes on") << QStringList{
        "unwritable", "class 二", "box 评分无法随时保存", "answer 确定", "mark 2.5", "mark 1", "class 二", "none",
        "export",     "none",     "marks 2.5 1"};
    QTest::newRow("by question: one question for the whole class, then the next; the answer stays on a switch")
        << QStringList{"order 题",  "mark 1",       "mark 2", "mark 3",   "item 4",   "marks 1 0 0 0 2 0 0 0 3",
                       "last",     "item 3",       "order 学生", "item 9", "next",     "item 10", "order 题", "item 6",
                       "restart",  "class 一",     "answer 恢复", "item 5", "count 4"};
    QTest::newRow("the marked count after marks, a recovery and a reload")
        << QStringList{"count 0", "mark 2.5", "mark 1", "count 2",  "restart", "class 一", "count 0",
                       "answer 恢复", "count 2", "class 一", "count 2", "item 3"};
    QTest::newRow("Ctrl+Enter goes to the next answer with no mark")
        << QStringList{"mark 1", "mark 2", "last", "last", "item 1", "jump", "item 4", "marks 1 2 0"};
    QTest::newRow("导出 with answers unmarked: 去评分 and Enter show the first, 仍然导出 exports")
        << QStringList{"mark 2.5", "export ask",      "box 还有答案没有评分", "answer 去评分", "file no",
                       "item 3",   "export ask",      "answer Enter",        "file no",      "item 4",
                       "export ask", "answer 仍然导出", "file yes"};
    QTest::newRow("a journal of velora 1.0.0: offered once, as the teacher says")
        << QStringList{"legacy",  "restart", "class 一", "box 找到旧版的评分记录", "answer 同一场考试（保留评分）",
                       "none",    "marks 2.5 0 0 0 0 0 4", "item 2", "restart", "class 一", "box " + found + " 2",
                       "answer Enter", "marks 2.5 0 0 0 0 0 4"};
    QTest::newRow("a journal of velora 1.0.0, Enter: not used")
        << QStringList{"legacy", "restart", "class 一", "box 找到旧版的评分记录", "answer Enter", "none", "marks 0",
                       "library 0"};
}

void TestMarking::marks_belong_to_their_exam()
{
    QFETCH(QStringList, steps);
    const QString journals = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QVERIFY(QDir().mkpath(journals));
    const QString second_class = files->filePath(QStringLiteral("二班/roster.txt"));
    QVERIFY(write_file(second_class, "2\nT01 T02\n"));
    for (const char *name : {"T01", "T02"})
        QVERIFY(write_file(files->filePath(QStringLiteral("二班/") + QLatin1String(name)), sheet(1)));
    const QString quiz2 = files->filePath(QStringLiteral("quiz2.txt"));
    QVERIFY(write_file(quiz2, QByteArray(problem_3x4()).replace("Q3", "Q3'").replace("Q4", "Q4'").replace("Q2 ", "Q2' ")
                                  .replace("choice", "选")));
    const QString mended = files->filePath(QStringLiteral("mended.txt"));
    QVERIFY(write_file(mended, QByteArray(problem_3x4()).replace("@Q3$", "@Q3（改）$")));
    const QString bigger = files->filePath(QStringLiteral("班级/roster+.txt"));
    QVERIFY(write_file(bigger, "4\n丁 甲 乙 丙\n"));
    QVERIFY(write_file(files->filePath(QStringLiteral("班级/丁")), sheet(1)));
    QString paper = problem;
    auto win = std::make_unique<Window>(*st);
    load_exam(*win);
    const ExamIdentity first_exam = exam_identity(*st);
    StoreFingerprint before_load = store_fingerprint(*st);
    for (const QString &step : steps) {
        const QString arg = step.section(QLatin1Char(' '), 1);
        const QStringList args = arg.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (step.startsWith(QLatin1String("mark "))) {
            win->spin()->setValue(arg.toDouble());
            win->press("next");
        } else if (step == QLatin1String("last") || step == QLatin1String("next")) {
            win->press(qPrintable(step));
        } else if (step.startsWith(QLatin1String("class "))) {
            before_load = store_fingerprint(*st);
            win->load("stufile_input", "stufile_button",
                      arg == QStringLiteral("一")    ? roster
                          : arg == QStringLiteral("一+") ? bigger
                                                        : second_class);
        } else if (step.startsWith(QLatin1String("paper "))) {
            before_load = store_fingerprint(*st);
            paper = arg == QLatin1String("2") ? quiz2 : arg == QLatin1String("mended") ? mended : problem;
            win->load("problemfile_input", "problemfile_button", paper);
        } else if (step == QLatin1String("export")) {
            win->get<QLineEdit>("input_file")->setText(files->filePath(QStringLiteral("成绩.xlsx")));
            win->press("tongji_button");
            win->press("print_button");
            QVERIFY(QFileInfo::exists(files->filePath(QStringLiteral("成绩.xlsx"))));
        } else if (step == QLatin1String("restart")) {
            // As after a kill: no close event, a new process with an empty store.
            win.reset();
            st = make_blank_store();
            win = std::make_unique<Window>(*st);
            win->load("problemfile_input", "problemfile_button", paper);
            win->load("ansfile_input", "ansfile_button", answer);
        } else if (step == QLatin1String("close")) {
            win->w.close();
        } else if (step == QLatin1String("second")) {
            ExamStorePtr other = make_blank_store();
            Window two(*other);
            two.load("problemfile_input", "problemfile_button", problem);
            const StoreFingerprint held = store_fingerprint(*other);
            two.load("stufile_input", "stufile_button", roster);
            QCOMPARE(two.messages().size(), 1);
            QCOMPARE(two.messages().first()->windowTitle(), QStringLiteral("这场考试正在另一个窗口中评分"));
            QVERIFY(store_fingerprint(*other) == held);
        } else if (step == QLatin1String("unwritable")) {
            QVERIFY(write_file(files->filePath(QStringLiteral("plain file")), "x"));
            win->w.keep_library_in(files->filePath(QStringLiteral("plain file/velora")));
        } else if (step.startsWith(QLatin1String("box "))) {
            QCOMPARE(win->messages().size(), 1);
            QMessageBox *box = win->messages().first();
            QCOMPARE(box->windowTitle(), args.value(0));
            if (args.size() > 1)
                QVERIFY2(box->text().contains(QStringLiteral(" %1 个还没有导出").arg(args[1])),
                         qPrintable(box->text()));
            QVERIFY(box->windowModality() == Qt::WindowModal);
        } else if (step.startsWith(QLatin1String("answer "))) {
            QCOMPARE(win->messages().size(), 1);
            QMessageBox *box = win->messages().first();
            const bool carry = box->windowTitle() == QStringLiteral("评分尚未导出") && !win->w.isHidden();
            if (arg == QLatin1String("Enter") || arg == QLatin1String("Escape"))
                QTest::keyClick(box, arg == QLatin1String("Enter") ? Qt::Key_Return : Qt::Key_Escape);
            for (QAbstractButton *b : box->buttons())
                if (b->text() == arg)
                    b->click();
            QTRY_VERIFY(!box->isVisible());
            if (carry && arg != QStringLiteral("继续") && arg != QStringLiteral("退出"))
                QVERIFY2(store_fingerprint(*st) == before_load,
                         qPrintable(changed_fields(before_load, store_fingerprint(*st)).join(", ")));
        } else if (step == QLatin1String("none")) {
            QVERIFY2(win->messages().isEmpty(), qPrintable(win->messages().value(0) ? win->messages()[0]->text() : ""));
        } else if (step.startsWith(QLatin1String("names "))) {
            QCOMPARE(st->stu_count, args.size());
            for (int s = 1; s <= args.size(); ++s)
                QCOMPARE(QString::fromUtf8(st->stu_name[s]), args[s - 1]);
        } else if (step.startsWith(QLatin1String("marks "))) {
            // Items in marking order, then every other item unmarked.
            for (int i = 0; i < st->stu_count * st->unxuan_count; ++i) {
                const int s = 1 + i / st->unxuan_count, q = 1 + i % st->unxuan_count;
                QCOMPARE(st->stu_score[s][st->xuan_count + q], args.value(i, QStringLiteral("0")).toDouble());
            }
        } else if (step.startsWith(QLatin1String("item "))) {
            QCOMPARE(win->item(), arg.toInt());
            QCOMPARE(win->spin()->value(), st->stu_score[st->cur_stu][st->xuan_count + st->cur_pro]);
        } else if (step.startsWith(QLatin1String("order "))) {
            win->get<QComboBox>("marking_order")->setCurrentIndex(arg == QStringLiteral("题") ? 1 : 0);
        } else if (step.startsWith(QLatin1String("count "))) {
            QCOMPARE(win->get<QLabel>("marked_count")->text(), QStringLiteral("已评 %1 / 12").arg(arg));
        } else if (step == QLatin1String("jump")) {
            QTest::keyClick(win->spin(), Qt::Key_Return, Qt::ControlModifier);
        } else if (step == QLatin1String("export ask")) {
            win->get<QLineEdit>("input_file")->setText(files->filePath(QStringLiteral("成绩.xlsx")));
            win->press("tongji_button");
            win->keep_unmarked_box = true;
            win->press("print_button");
            win->keep_unmarked_box = false;
        } else if (step.startsWith(QLatin1String("file "))) {
            QCOMPARE(QFileInfo::exists(files->filePath(QStringLiteral("成绩.xlsx"))), arg == QLatin1String("yes"));
        } else if (step.startsWith(QLatin1String("slip "))) {
            // The header row of the first slip, as the workbook holds it.
            QFile written(files->filePath(QStringLiteral("成绩.xlsx")));
            QVERIFY(written.open(QIODevice::ReadOnly));
            XlsxBook book;
            QString error;
            QVERIFY2(read_xlsx(written.readAll(), &book, &error), qPrintable(error));
            QStringList header;
            for (const XlsxCell &c : book.sheets.value(2))
                if (c.row == 1 && header.size() < args.size())
                    header << c.text;
            QCOMPARE(header, args);
        } else if (step.startsWith(QLatin1String("library "))) {
            QCOMPARE(library_mark_count(QDir(journals).filePath(QStringLiteral("velora.sqlite3"))), arg.toInt());
        } else if (step == QLatin1String("legacy")) {
            // Marks 1,1 = 2.5 and 2,3 = 4 as velora 1.0.0 journalled them.
            QByteArray head("\x01\0\0\0", 4);
            QVERIFY(write_file(QDir(journals).filePath(first_exam.key() + QStringLiteral(".journal")),
                               journal_record('H', head + first_exam.canonical()) + journal_mark(1, 1, 2.5)
                                   + journal_mark(2, 3, 4)));
        } else {
            QFAIL(qPrintable(step));
        }
    }
}

void TestMarking::killed_while_marking_data()
{
    QTest::addColumn<QStringList>("marks");
    QTest::newRow("one mark") << QStringList{"4.5"};
    QTest::newRow("every item, one of them 0 again")
        << QStringList{"1", "2", "3", "4", "5", "0", "7", "8", "0.25", "9.75", "7.5", "20"};
}

void TestMarking::killed_while_marking()
{
    QFETCH(QStringList, marks);
    // A Chinese folder name, as under a Chinese user name.
    const QString journals = files->filePath(QStringLiteral("用户/velora"));
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/marking_child"),
                QStringList{journals, problem, answer, roster} + marks);
    QVERIFY2(child.waitForStarted(30000), qPrintable(child.errorString()));
    QByteArray said;
    while (!said.contains('\n') && child.waitForReadyRead(60000))
        said += child.readAllStandardOutput();
    QCOMPARE(said.trimmed(), QByteArray("marked ") + QByteArray::number(marks.size()));
    child.kill();  // SIGKILL; TerminateProcess on Windows
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    Window win(*st);
    win.w.keep_library_in(journals);
    win.load("problemfile_input", "problemfile_button", problem);
    win.load("ansfile_input", "ansfile_button", answer);
    win.load("stufile_input", "stufile_button", roster);
    QCOMPARE(win.messages().size(), 1);
    QMessageBox *box = win.messages().first();
    QCOMPARE(box->windowTitle(), QStringLiteral("恢复上次的评分"));
    // A 0 that no workbook holds has nothing to lose.
    const int given = marks.size() - marks.count(QStringLiteral("0"));
    QVERIFY2(box->text().contains(QStringLiteral(" %1 个还没有导出").arg(given)), qPrintable(box->text()));
    for (QAbstractButton *b : box->buttons())
        if (b->text() == QStringLiteral("恢复"))
            b->click();
    QTRY_VERIFY(win.messages().isEmpty());
    for (int i = 0; i < 12; ++i)
        QCOMPARE(st->stu_score[1 + i / 4][2 + 1 + i % 4], marks.value(i, QStringLiteral("0")).toDouble());
    // The first answer with no mark, else the one marked last.
    QCOMPARE(win.item(), qMin(marks.size() + 1, 12));
}

// The three files in any order, at the keyboard: Enter in a path field loads
// it. A load that comes before the problem file is refused, changing nothing;
// "P5": a problem file with five written questions, after the others.
void TestMarking::load_orders_data()
{
    QTest::addColumn<QString>("order");
    for (const char *o : {"PAR", "PRA", "APR", "ARP", "RPA", "RAP", "PARR", "PARP5"})
        QTest::newRow(o) << QString::fromLatin1(o);
}

void TestMarking::load_orders()
{
    QFETCH(QString, order);
    const QString five = files->filePath(QStringLiteral("five.txt"));
    QVERIFY(write_file(five, "1 5\n2 5 5 5 5 5\n@c$@甲$@乙$@丙$@丁$@戊$"));
    Window win(*st);
    QVERIFY(QTest::qWaitForWindowActive(&win.w));
    QStringList refused;
    auto enter_in = [&](const char *field, const QString &path) {
        auto *edit = win.get<QLineEdit>(field);
        edit->setText(path);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Return);
    };
    for (int i = 0; i < order.size(); ++i) {
        const QChar f = order[i];
        const StoreFingerprint before = store_fingerprint(*st);
        const bool first_problem = st->pro_path[0] == 0;
        if (f == QLatin1Char('P')) {
            const bool with_five = order.mid(i) == QLatin1String("P5");
            enter_in("problemfile_input", with_five ? five : problem);
            if (with_five)
                break;
            // The focus goes on to the next path field.
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(win.get<QLineEdit>("ansfile_input")));
            continue;
        }
        if (f == QLatin1Char('R') && order.left(i).count(QLatin1Char('R')) == 1) {
            // A second press of the roster's button: the teacher stays where she was.
            win.press("next"), win.press("next");
            enter_in("stufile_input", roster);
            QCOMPARE(win.item(), 3);
            continue;
        }
        enter_in(f == QLatin1Char('A') ? "ansfile_input" : "stufile_input", f == QLatin1Char('A') ? answer : roster);
        if (first_problem) {
            QCOMPARE(win.messages().size(), 1);
            QCOMPARE(win.messages().first()->windowTitle(), QStringLiteral("请先导入试题文件"));
            QVERIFY(store_fingerprint(*st) == before);
            win.close_messages();
            QApplication::setActiveWindow(&win.w);
            refused << QString(f);
        } else if (f == QLatin1Char('A')) {
            // On to the roster's field, or back to 评分 once marking has begun.
            QWidget *next = st->stu_path[0] != 0 ? static_cast<QWidget *>(win.spin())
                                                                       : win.get<QLineEdit>("stufile_input");
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }
    for (const QString &f : refused)
        win.load(f == QLatin1String("A") ? "ansfile_input" : "stufile_input", f == QLatin1String("A") ? "ansfile_button" : "stufile_button",
                 f == QLatin1String("A") ? answer : roster);
    if (order.endsWith(QLatin1String("P5"))) {
        // Read again for five questions: the sheets lack one (told), the key lacks one (told, none shown).
        QCOMPARE(win.messages().size(), 2);
        QCOMPARE(win.get<QLCDNumber>("total_num")->intValue(), 15);
        QCOMPARE(win.get<QTextBrowser>("pro_out")->toPlainText(), QStringLiteral("甲"));
        QCOMPARE(win.get<QTextBrowser>("ans_out")->toPlainText(), QString());
        QCOMPARE(win.student_answer(), answer_text(1, 1));
        return;
    }
    QVERIFY(win.messages().isEmpty());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(win.spin()));
    QCOMPARE(win.get<QLCDNumber>("total_num")->intValue(), 12);
    if (!order.endsWith(QLatin1String("RR")))
        QCOMPARE(win.item(), 1);
    QCOMPARE(win.get<QTextBrowser>("ans_out")->toPlainText(), QStringLiteral("std%1").arg(st->cur_pro));
    QCOMPARE(win.student_answer(), answer_text(st->cur_stu, st->cur_pro));
}

QTEST_MAIN(TestMarking)
#include "test_marking.moc"
