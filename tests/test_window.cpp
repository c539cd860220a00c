// The main window as a user first meets it: title, size, tabs, every widget
// and text of the form, the slots bound by name, the file dialogs, and the
// exam store as it stands right after start-up.
#include "app/qt_translation.h"
#include "app/velora.h"
#include "app/window_fit.h"
#include "exam/exam_store.h"
#include "tests/support/files.h"
#include "tests/support/resident_memory.h"
#include "tests/support/store_checksum.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QTranslator>
#include <QtTest>

#include <functional>

namespace {

const char *const kSlots[12] = {
    "on_problemfile_button_clicked",
    "on_ansfile_button_clicked",
    "on_stufile_button_clicked",
    "on_save_clicked",
    "on_last_clicked",
    "on_next_clicked",
    "on_tongji_button_clicked",
    "on_choose_problem_file_clicked",
    "on_choose_answer_file_clicked",
    "on_choose_student_file_clicked",
    "on_pushButton_clicked",
    "on_print_button_clicked",
};

QString rich(const QString &text)
{
    return QStringLiteral("<html><head/><body><p><span style=\" font-size:11pt;\">") + text
        + QStringLiteral("</span></p></body></html>");
}

QFileDialog *open_file_dialog()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *dlg = qobject_cast<QFileDialog *>(w); dlg && dlg->isVisible())
            return dlg;
    return nullptr;
}

// Runs `drive` on the file dialog once it is up, and again while it stays up
// (the dialog lists folders in a background thread and may ignore an early
// accept), without ever blocking the test: after ten seconds it is rejected.
QPointer<QTimer> when_dialog_opens(std::function<void(QFileDialog *)> drive)
{
    auto *timer = new QTimer;
    timer->setInterval(50);
    auto *deadline = new QElapsedTimer;
    deadline->start();
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, drive] {
        QFileDialog *dlg = open_file_dialog();
        if (dlg && deadline->elapsed() < 10000) {
            timer->setProperty("seen", true);
            drive(dlg);
            return;
        }
        if (dlg)
            dlg->reject();
        else if (deadline->elapsed() < 10000 && !timer->property("seen").toBool())
            return;
        timer->stop();
        timer->deleteLater();
        delete deadline;
    });
    timer->start();
    return timer;
}

}  // namespace

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void init() { isolate_user_data(); }
    void startup();
    void meta_object();
    void slots_bound_by_name_data();
    void slots_bound_by_name();
    void form_objects_data();
    void form_objects();
    void placements_data();
    void placements();
    void texts_data();
    void texts();
    void form_properties();
    void dialogs_data();
    void dialogs();
    void store_at_start();
    void close_prompt_data();
    void close_prompt();
    void fitted_geometry_data();
    void fitted_geometry();
    void qt_texts_data();
    void qt_texts();
};

void TestWindow::startup()
{
    const long before = resident_kib();
    velora w;
    show_main_window(w);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.windowTitle(), QStringLiteral("velora试卷评测系统-教师端"));
    QCOMPARE(w.objectName(), QStringLiteral("velora"));
    // The window is fitted to its screen, frame and all: the offscreen platform's is 800 x 600.
    const QRect available = w.screen()->availableGeometry();
    QVERIFY2(available.contains(w.frameGeometry()),
             qPrintable(QStringLiteral("%1 x %2 at %3, %4")
                            .arg(w.frameGeometry().width())
                            .arg(w.frameGeometry().height())
                            .arg(w.frameGeometry().x())
                            .arg(w.frameGeometry().y())));
    QVERIFY(w.width() <= 1200 && w.height() < 800 && w.width() >= 600 && w.height() >= 400);
    QCOMPARE(w.minimumSize(), QSize(600, 400));
    auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("problem"));
    QVERIFY(w.statusBar());
    QCOMPARE(w.statusBar()->objectName(), QStringLiteral("statusBar"));
    QVERIFY(w.statusBar()->currentMessage().isEmpty());
    QVERIFY(w.findChildren<QMenuBar *>().isEmpty());
    QVERIFY(w.findChildren<QToolBar *>().isEmpty());
    // The notice never grows taller than 22 pixels, and its link opens nothing.
    auto *notice = w.findChild<QLabel *>(QStringLiteral("label_2"));
    QVERIFY(notice->height() <= 22);
    QVERIFY(!notice->openExternalLinks());
    // The store's gigabyte must not have become resident by starting up.
    const long after = resident_kib();
    QVERIFY(after > 0);
    QVERIFY2(after < 400 * 1024, qPrintable(QStringLiteral("VmRSS %1 KiB").arg(after)));
    QVERIFY2(after - before < 200 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(after - before)));
}

void TestWindow::meta_object()
{
    velora w;
    QCOMPARE(qobject_cast<velora *>(static_cast<QObject *>(&w)), &w);
    QCOMPARE(w.qt_metacast("velora"), static_cast<void *>(&w));
    QCOMPARE(w.qt_metacast(nullptr), nullptr);
    const QMetaObject *mo = w.metaObject();
    QCOMPARE(mo, &velora::staticMetaObject);
    QCOMPARE(QByteArray(mo->className()), QByteArray("velora"));
    QCOMPARE(mo->superClass(), &QMainWindow::staticMetaObject);
    QCOMPARE(mo->methodCount() - mo->methodOffset(), 12);
    for (int i = 0; i < 12; ++i) {
        const QMetaMethod m = mo->method(mo->methodOffset() + i);
        QCOMPARE(m.name(), QByteArray(kSlots[i]));
        QCOMPARE(m.methodType(), QMetaMethod::Slot);
        QCOMPARE(m.access(), QMetaMethod::Private);
        QCOMPARE(m.parameterCount(), 0);
        QCOMPARE(m.returnType(), int(QMetaType::Void));
    }
    QCOMPARE(mo->propertyCount(), mo->propertyOffset());
    QCOMPARE(mo->enumeratorCount(), mo->enumeratorOffset());
    QCOMPARE(mo->classInfoCount(), mo->classInfoOffset());
    QCOMPARE(mo->constructorCount(), 0);
}

void TestWindow::slots_bound_by_name_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("slot");
    const char *const buttons[12] = {"problemfile_button",
                                     "ansfile_button",
                                     "stufile_button",
                                     "save",
                                     "last",
                                     "next",
                                     "tongji_button",
                                     "choose_problem_file",
                                     "choose_answer_file",
                                     "choose_student_file",
                                     "pushButton",
                                     "print_button"};
    for (int i = 0; i < 12; ++i)
        QTest::newRow(buttons[i]) << QString::fromLatin1(buttons[i]) << QByteArray(kSlots[i]);
}

void TestWindow::slots_bound_by_name()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, slot);
    velora w;
    auto *b = w.findChild<QPushButton *>(button);
    QVERIFY(b);
    // disconnect() answers whether exactly this connection existed; no dialog is opened.
    const QByteArray member = QByteArray::number(QSLOT_CODE) + slot + "()";
    QVERIFY(QObject::disconnect(b, SIGNAL(clicked()), &w, member.constData()));
    QVERIFY(!QObject::disconnect(b, SIGNAL(clicked()), &w, member.constData()));
}

void TestWindow::form_objects_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    struct Row {
        const char *name, *cls, *parent;
    };
    const Row rows[] = {
        {"centralWidget", "QWidget", "velora"},
        {"gridLayout_3", "QGridLayout", "centralWidget"},
        {"label_2", "QLabel", "centralWidget"},
        {"tabWidget", "QTabWidget", "centralWidget"},
        {"problem", "QWidget", "qt_tabwidget_stackedwidget"},
        {"formLayout", "QFormLayout", "problem"},
        {"problemfile_txt", "QLabel", "problem"},
        {"problemfile_button", "QPushButton", "problem"},
        {"choose_problem_file", "QPushButton", "problem"},
        {"problemfile_input", "QLineEdit", "problem"},
        {"ansfile_txt", "QLabel", "problem"},
        {"ansfile_button", "QPushButton", "problem"},
        {"choose_answer_file", "QPushButton", "problem"},
        {"ansfile_input", "QLineEdit", "problem"},
        {"stufile_txt", "QLabel", "problem"},
        {"stufile_button", "QPushButton", "problem"},
        {"choose_student_file", "QPushButton", "problem"},
        {"stufile_input", "QLineEdit", "problem"},
        {"xuan_txt", "QLabel", "problem"},
        {"xuan_number", "QLCDNumber", "problem"},
        {"unxuan_txt", "QLabel", "problem"},
        {"unxuan_number", "QLCDNumber", "problem"},
        {"student_txt", "QLabel", "problem"},
        {"student_number", "QLCDNumber", "problem"},
        {"test", "QWidget", "qt_tabwidget_stackedwidget"},
        {"gridLayout", "QGridLayout", "test"},
        {"pro_txt", "QLabel", "test"},
        {"had_num", "QLCDNumber", "test"},
        {"ans_out", "QTextBrowser", "test"},
        {"pro_out", "QTextBrowser", "test"},
        {"stu_out", "QTextBrowser", "test"},
        {"pin_fen", "QDoubleSpinBox", "test"},
        {"pinfen_txt", "QLabel", "test"},
        {"ans_txt", "QLabel", "test"},
        {"label", "QLabel", "test"},
        {"next", "QPushButton", "test"},
        {"last", "QPushButton", "test"},
        {"jindu", "QProgressBar", "test"},
        {"total_txt", "QLabel", "test"},
        {"total_num", "QLCDNumber", "test"},
        {"had_txt", "QLabel", "test"},
        {"stu_txt", "QLabel", "test"},
        {"save", "QPushButton", "test"},
        {"highest_score", "QLCDNumber", "test"},
        {"marking_order", "QComboBox", "test"},
        {"marked_count", "QLabel", "test"},
        {"score", "QWidget", "qt_tabwidget_stackedwidget"},
        {"gridLayout_2", "QGridLayout", "score"},
        {"tongji_button", "QPushButton", "score"},
        {"input_file", "QLineEdit", "score"},
        {"pushButton", "QPushButton", "score"},
        {"print_button", "QPushButton", "score"},
        {"score_show", "QTableWidget", "score"},
        {"print_txt", "QLabel", "score"},
        {"statusBar", "QStatusBar", "velora"},
    };
    for (const Row &r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.name) << QString::fromLatin1(r.cls)
                              << QString::fromLatin1(r.parent);
}

void TestWindow::form_objects()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    velora w;
    const QList<QObject *> found = w.findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QObject *o = found.first();
    QCOMPARE(QString::fromLatin1(o->metaObject()->className()), className);
    QVERIFY(o->parent());
    QCOMPARE(o->parent()->objectName(), parentName);
    if (auto *layout = qobject_cast<QLayout *>(o)) {
        QCOMPARE(layout->spacing(), 6);
        QCOMPARE(layout->contentsMargins(), QMargins(11, 11, 11, 11));
        QCOMPARE(layout->parentWidget()->layout(), layout);
    }
}

void TestWindow::placements_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");  // form layouts: the item role
    QTest::addColumn<int>("rowSpan");
    QTest::addColumn<int>("columnSpan");
    const int L = QFormLayout::LabelRole, F = QFormLayout::FieldRole, S = QFormLayout::SpanningRole;
    struct Row {
        const char *name, *layout;
        int r, c, rs, cs;
    };
    const Row rows[] = {
        {"label_2", "gridLayout_3", 0, 0, 1, 1},
        {"tabWidget", "gridLayout_3", 1, 0, 1, 1},
        {"problemfile_txt", "formLayout", 2, L, 1, 1},
        {"problemfile_button", "formLayout", 2, F, 1, 1},
        {"choose_problem_file", "formLayout", 3, L, 1, 1},
        {"problemfile_input", "formLayout", 5, S, 1, 1},
        {"ansfile_txt", "formLayout", 6, L, 1, 1},
        {"ansfile_button", "formLayout", 6, F, 1, 1},
        {"choose_answer_file", "formLayout", 7, L, 1, 1},
        {"ansfile_input", "formLayout", 8, S, 1, 1},
        {"stufile_txt", "formLayout", 9, L, 1, 1},
        {"stufile_button", "formLayout", 9, F, 1, 1},
        {"choose_student_file", "formLayout", 10, L, 1, 1},
        {"stufile_input", "formLayout", 11, S, 1, 1},
        {"xuan_txt", "formLayout", 14, L, 1, 1},
        {"xuan_number", "formLayout", 14, F, 1, 1},
        {"unxuan_txt", "formLayout", 15, L, 1, 1},
        {"unxuan_number", "formLayout", 15, F, 1, 1},
        {"student_txt", "formLayout", 16, L, 1, 1},
        {"student_number", "formLayout", 16, F, 1, 1},
        {"pro_txt", "gridLayout", 0, 0, 1, 1},
        {"had_num", "gridLayout", 1, 2, 1, 1},
        {"ans_out", "gridLayout", 9, 0, 5, 2},
        {"pro_out", "gridLayout", 1, 0, 1, 2},
        {"stu_out", "gridLayout", 7, 0, 1, 1},
        {"pin_fen", "gridLayout", 9, 2, 1, 1},
        {"pinfen_txt", "gridLayout", 8, 2, 1, 1},
        {"ans_txt", "gridLayout", 8, 0, 1, 1},
        {"label", "gridLayout", 10, 2, 1, 1},
        {"next", "gridLayout", 14, 2, 1, 1},
        {"last", "gridLayout", 13, 2, 1, 1},
        {"jindu", "gridLayout", 14, 0, 1, 2},
        {"total_txt", "gridLayout", 4, 2, 1, 1},
        {"total_num", "gridLayout", 7, 2, 1, 1},
        {"had_txt", "gridLayout", 0, 2, 1, 1},
        {"stu_txt", "gridLayout", 4, 0, 1, 1},
        {"save", "gridLayout", 12, 2, 1, 1},
        {"highest_score", "gridLayout", 11, 2, 1, 1},
        {"marking_order", "gridLayout", 3, 2, 1, 1},
        {"marked_count", "gridLayout", 5, 2, 1, 1},
        {"tongji_button", "gridLayout_2", 1, 0, 1, 4},
        {"input_file", "gridLayout_2", 6, 0, 1, 4},
        {"pushButton", "gridLayout_2", 5, 2, 1, 1},
        {"print_button", "gridLayout_2", 5, 1, 1, 1},
        {"score_show", "gridLayout_2", 0, 0, 1, 4},
        {"print_txt", "gridLayout_2", 5, 0, 1, 1},
    };
    for (const Row &r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.name) << QString::fromLatin1(r.layout) << r.r << r.c << r.rs
                              << r.cs;
}

void TestWindow::placements()
{
    QFETCH(QString, name);
    QFETCH(QString, layout);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, rowSpan);
    QFETCH(int, columnSpan);
    velora w;
    auto *widget = w.findChild<QWidget *>(name);
    QVERIFY(widget);
    QObject *l = w.findChild<QObject *>(layout);
    if (auto *form = qobject_cast<QFormLayout *>(l)) {
        int r = -1;
        QFormLayout::ItemRole role;
        form->getWidgetPosition(widget, &r, &role);
        QCOMPARE(r, row);
        QCOMPARE(int(role), column);
    } else {
        auto *grid = qobject_cast<QGridLayout *>(l);
        QVERIFY(grid);
        const int index = grid->indexOf(widget);
        QVERIFY(index >= 0);
        int r, c, rs, cs;
        grid->getItemPosition(index, &r, &c, &rs, &cs);
        QCOMPARE(QList<int>({r, c, rs, cs}), QList<int>({row, column, rowSpan, columnSpan}));
        QCOMPARE(int(grid->itemAt(index)->alignment()), 0);
    }
}

void TestWindow::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    const QString notice = QStringLiteral(
        "<html><head/><body><p>创作不易，请勿恶意盗用，我们的官网是：<a href=\"https://velora.example.org\">"
        "<span style=\" text-decoration: underline; color:#0000ff;\">https://velora.example.org</span></a>"
        " 制作者：velora 开发组</p></body></html>");
    QTest::newRow("label_2") << "label_2" << notice;
    const char *const labels[][2] = {
        {"problemfile_txt", "输入试题文件目录："},
        {"ansfile_txt", "输入答案文件目录："},
        {"stufile_txt", "输入学生导入文件目录："},
        {"xuan_txt", "读取到的选择题数："},
        {"unxuan_txt", "读取到的非选择题数："},
        {"student_txt", "读取到的学生数："},
        {"pro_txt", "题目内容："},
        {"pinfen_txt", "评分："},
        {"ans_txt", "标准答案："},
        {"label", "该题最高评分："},
        {"total_txt", "总题数："},
        {"had_txt", "正在评测题号："},
        {"stu_txt", "学生答案："},
        {"print_txt", "输入导出成绩的文件目录："},
    };
    for (const auto &l : labels)
        QTest::newRow(l[0]) << QString::fromLatin1(l[0]) << rich(QString::fromUtf8(l[1]));
    const char *const buttons[][2] = {
        {"problemfile_button", "导入试题文件"},
        {"choose_problem_file", "  选择试题文件  "},
        {"ansfile_button", "导入答案文件"},
        {"choose_answer_file", "  选择答案文件  "},
        {"stufile_button", "导入学生导入文件"},
        {"choose_student_file", "选择学生导入文件"},
        {"next", "下一题"},
        {"last", "上一题"},
        {"save", "保存结果"},
        {"tongji_button", "统计分数"},
        {"pushButton", "选择文件"},
        {"print_button", "导出"},
    };
    for (const auto &b : buttons)
        QTest::newRow(b[0]) << QString::fromLatin1(b[0]) << QString::fromUtf8(b[1]);
    QTest::newRow("tab problem") << "#0" << QStringLiteral("题目");
    QTest::newRow("tab test") << "#1" << QStringLiteral("评测非选择题");
    QTest::newRow("tab score") << "#2" << QStringLiteral("分数");
    QTest::newRow("form title") << "@" << QStringLiteral("velora");
}

void TestWindow::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    velora w;  // not shown: the form's own title is still in place
    QString actual;
    if (name == QLatin1String("@")) {
        actual = w.windowTitle();
    } else if (name.startsWith(QLatin1Char('#'))) {
        auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        actual = tabs->tabText(name.mid(1).toInt());
    } else if (auto *label = w.findChild<QLabel *>(name)) {
        actual = label->text();
    } else if (auto *button = w.findChild<QPushButton *>(name)) {
        actual = button->text();
    } else {
        QFAIL("no such widget");
    }
    QCOMPARE(actual, text);
}

void TestWindow::form_properties()
{
    velora w;
    auto *notice = w.findChild<QLabel *>(QStringLiteral("label_2"));
    QCOMPARE(notice->maximumSize(), QSize(16777215, 22));
    auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QCOMPARE(tabs->widget(0)->objectName(), QStringLiteral("problem"));
    QCOMPARE(tabs->widget(1)->objectName(), QStringLiteral("test"));
    QCOMPARE(tabs->widget(2)->objectName(), QStringLiteral("score"));
    QCOMPARE(tabs->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(tabs->sizePolicy().verticalPolicy(), QSizePolicy::Preferred);

    auto *form = w.findChild<QFormLayout *>(QStringLiteral("formLayout"));
    QLayoutItem *spacerItem = form->itemAt(13, QFormLayout::SpanningRole);
    QVERIFY(spacerItem && spacerItem->spacerItem());
    QCOMPARE(spacerItem->sizeHint(), QSize(40, 20));
    QCOMPARE(spacerItem->spacerItem()->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(spacerItem->spacerItem()->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    for (int emptyRow : {0, 1, 4, 12}) {
        QVERIFY(!form->itemAt(emptyRow, QFormLayout::LabelRole));
        QVERIFY(!form->itemAt(emptyRow, QFormLayout::FieldRole));
        QVERIFY(!form->itemAt(emptyRow, QFormLayout::SpanningRole));
    }

    auto *xuanTxt = w.findChild<QLabel *>(QStringLiteral("xuan_txt"));
    QCOMPARE(xuanTxt->lineWidth(), 1);
    QCOMPARE(xuanTxt->textFormat(), Qt::AutoText);
    QCOMPARE(w.findChild<QLCDNumber *>(QStringLiteral("xuan_number"))->intValue(), 0);

    auto *next = w.findChild<QPushButton *>(QStringLiteral("next"));
    QVERIFY(!next->font().strikeOut());
    QFont struck;
    struck.setStrikeOut(true);
    QVERIFY(!next->font().resolve(struck).strikeOut());  // set by the form, not inherited
    QVERIFY(!next->isDefault());
    QVERIFY(!next->autoDefault());
    QVERIFY(!next->isCheckable());
    QVERIFY(!next->isFlat());
    QVERIFY(!next->acceptDrops());

    auto *bar = w.findChild<QProgressBar *>(QStringLiteral("jindu"));
    QCOMPARE(bar->value(), 0);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QVERIFY(bar->isTextVisible());
    QVERIFY(!bar->invertedAppearance());
    QCOMPARE(bar->textDirection(), QProgressBar::TopToBottom);

    // Nothing else is set: Qt's defaults stand.
    auto *spin = w.findChild<QDoubleSpinBox *>(QStringLiteral("pin_fen"));
    QCOMPARE(spin->decimals(), 2);
    QCOMPARE(spin->maximum(), 99.99);
    auto *table = w.findChild<QTableWidget *>(QStringLiteral("score_show"));
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(table->columnCount(), 0);
    for (auto *edit : w.findChildren<QLineEdit *>(QString(), Qt::FindChildrenRecursively))
        if (!edit->objectName().isEmpty() && edit->objectName().endsWith(QLatin1String("input")))
            QVERIFY(edit->text().isEmpty() && edit->placeholderText().isEmpty());
}

void TestWindow::dialogs_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<bool>("accept");
    struct Row {
        const char *button, *field, *caption, *filter;
    };
    const Row rows[] = {
        {"choose_problem_file", "problemfile_input", "选择试题文件", nullptr},
        {"choose_answer_file", "ansfile_input", "选择答案文件", nullptr},
        {"choose_student_file", "stufile_input", "选择学生导入文件", nullptr},
        {"pushButton", "input_file", "导出分数表格", "(*.xlsx *.xls)"},
    };
    for (const Row &r : rows) {
        const QStringList filters = r.filter ? QStringList{QString::fromUtf8(r.filter)} : QStringList();
        for (bool accept : {true, false})
            QTest::newRow(
                qPrintable(QStringLiteral("%1 %2").arg(QLatin1String(r.button), accept ? "accept" : "cancel")))
                << QString::fromLatin1(r.button) << QString::fromLatin1(r.field) << QString::fromUtf8(r.caption)
                << filters << accept;
    }
}

void TestWindow::dialogs()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, caption);
    QFETCH(QStringList, filters);
    QFETCH(bool, accept);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const bool save = button == QLatin1String("pushButton");
    // The open dialogs need an existing file; the save dialog a new one (no overwrite question).
    const QString chosen = dir.filePath(save ? QStringLiteral("成绩.xlsx") : QStringLiteral("试题 1.txt"));
    if (!save) {
        QFile f(chosen);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    velora w;
    auto *edit = w.findChild<QLineEdit *>(field);
    edit->setText(QStringLiteral("/an/old/path"));

    QString seenCaption, seenDirectory;
    QStringList seenFilters;
    bool seen = false;
    QPointer<QTimer> driver = when_dialog_opens([&](QFileDialog *dlg) {
        if (!seen) {  // as first shown, before driving it elsewhere
            seen = true;
            seenCaption = dlg->windowTitle();
            seenDirectory = dlg->directory().absolutePath();
            seenFilters = dlg->nameFilters();
        }
        if (accept) {
            // Typed as a user would: the whole path into the file name field.
            auto *name = dlg->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(chosen);
            static_cast<QDialog *>(dlg)->accept();  // QFileDialog::accept is protected
        } else {
            dlg->reject();
        }
    });
    w.findChild<QPushButton *>(button)->click();
    QTRY_VERIFY(driver.isNull());  // the driver is done before the next dialog may open

    QVERIFY(seen);
    QCOMPARE(seenCaption, caption);
    QCOMPARE(seenDirectory, QFileInfo(QStringLiteral("/home")).absoluteFilePath());  // Windows: on the current drive
    if (!filters.isEmpty())
        QCOMPARE(seenFilters, filters);
    else
        QVERIFY(seenFilters.isEmpty() || seenFilters == QStringList{QFileDialog::tr("All Files (*)")});
    QCOMPARE(edit->text(), accept ? chosen : QString());
}

void TestWindow::store_at_start()
{
    // Capacities are part of the file formats' contract.
    static_assert(sizeof exam_store.pro_score / sizeof exam_store.pro_score[0] == 201);
    static_assert(sizeof exam_store.pro_text[0] == 10001);
    static_assert(sizeof exam_store.ans_key == 101);
    static_assert(sizeof exam_store.ans_text / sizeof exam_store.ans_text[0] == 101);
    static_assert(sizeof exam_store.stu_name / sizeof exam_store.stu_name[0] == 1001);
    static_assert(sizeof exam_store.stu_name[0] == 101);
    static_assert(sizeof exam_store.stu_xuan[0] == 101);
    static_assert(sizeof exam_store.stu_text[0] / sizeof exam_store.stu_text[0][0] == 101);
    static_assert(sizeof exam_store.stu_text[0][0] == 10001);
    static_assert(sizeof exam_store.stu_score[0] / sizeof exam_store.stu_score[0][0] == 201);
    static_assert(sizeof exam_store.pro_path == 1001 && sizeof exam_store.stu_path == 1001);
    static_assert(sizeof(ExamStore) > 1000000000);

    velora w;  // a window changes nothing in the store
    const ExamStore &st = exam_store;
    QCOMPARE(st.xuan_count, 0);
    QCOMPARE(st.unxuan_count, 0);
    QCOMPARE(st.stu_count, 0);
    QCOMPARE(st.cur_stu, 0);
    QCOMPARE(st.cur_pro, 0);
    QCOMPARE(st.mark_steps, 0);
    QVERIFY(!st.tongji_done);
    QCOMPARE(st.ans_key[0], '\0');
    QCOMPARE(st.pro_path[0], '\0');
    QCOMPARE(st.ans_path[0], '\0');
    QCOMPARE(st.stu_path[0], '\0');
    for (int i : {0, 1, 100, 200}) {
        QCOMPARE(st.pro_text[i][0], '\0');
        QCOMPARE(st.pro_score[i], 0.0);
        QCOMPARE(st.pro_len[i], 0);
    }
    for (int s : {0, 1, 500, 1000}) {
        QCOMPARE(st.stu_name[s][0], '\0');
        QCOMPARE(st.stu_total[s], 0.0);
        for (int q : {1, 100}) {
            QCOMPARE(st.stu_text[s][q][0], '\0');
            QCOMPARE(st.stu_len[s][q], 0);
        }
        for (int p : {1, 200})
            QCOMPARE(st.stu_score[s][p], 0.0);
    }
}

void TestWindow::close_prompt_data()
{
    // Steps: "load" the exam (2 students x 2 written questions), "mark N"
    // (type N and press 保存结果), "type N" (type only), "next", "tongji",
    // "export" (to a file that can be written), "export fails".
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("asks");
    QTest::newRow("nothing loaded") << QStringList{} << false;
    QTest::newRow("no marks") << QStringList{"load", "next", "tongji"} << false;
    QTest::newRow("a mark, nothing exported") << QStringList{"load", "mark 4"} << true;
    QTest::newRow("a mark typed, not stored") << QStringList{"load", "next", "type 4"} << true;
    QTest::newRow("table built, not exported") << QStringList{"load", "mark 4", "tongji"} << true;
    QTest::newRow("every mark exported") << QStringList{"load", "mark 4", "next", "tongji", "export"} << false;
    QTest::newRow("same mark stored again after the export")
        << QStringList{"load", "mark 4", "tongji", "export", "mark 4", "next", "last"} << false;
    QTest::newRow("mark changed after the export")
        << QStringList{"load", "mark 4", "tongji", "export", "mark 6"} << true;
    QTest::newRow("mark set back to 0 after the export")
        << QStringList{"load", "mark 4", "tongji", "export", "mark 0"} << true;
    QTest::newRow("marked after the table was built, then exported: Enter")
        << QStringList{"load", "mark 4", "tongji", "next", "mark 7", "export stale", "answer Enter"} << true;
    QTest::newRow("marked after the table was built, then exported: Escape")
        << QStringList{"load", "mark 4", "tongji", "next", "mark 7", "export stale", "answer Escape"} << true;
    QTest::newRow("marked after the table was built, then exported: 取消")
        << QStringList{"load", "mark 4", "tongji", "next", "mark 7", "export stale", "answer 取消"} << true;
    QTest::newRow("marked after the table was built, then exported: 重新统计并导出")
        << QStringList{"load", "mark 4", "tongji", "next", "mark 7", "export stale", "answer 重新统计并导出"} << false;
    QTest::newRow("typed after the table was built, then exported")
        << QStringList{"load", "mark 4", "tongji", "next", "type 7", "export stale", "answer 重新统计并导出"} << false;
    QTest::newRow("export failed") << QStringList{"load", "mark 4", "tongji", "export fails"} << true;
}

void TestWindow::close_prompt()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, asks);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(write_file(dir.filePath("problem.txt"), "1 2\n2 5 10\n@c$@Q1$@Q2$"));
    QVERIFY(write_file(dir.filePath("answer.txt"), "A\n@s1$@s2$"));
    QVERIFY(write_file(dir.filePath("roster.txt"), "2\n甲 乙\n"));
    QVERIFY(write_file(dir.filePath("甲"), "A@x$@y$"));
    QVERIFY(write_file(dir.filePath("乙"), "B@x$@y$"));

    ExamStorePtr st = make_blank_store();
    velora w(*st);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto press = [&w](const char *name) {
        w.findChild<QPushButton *>(QLatin1String(name))->click();
        // Answers left unmarked are exported as they are: this test is about the close.
        if (qstrcmp(name, "print_button") == 0)
            for (QMessageBox *m : w.findChildren<QMessageBox *>())
                if (m->isVisible() && m->windowTitle() == QStringLiteral("还有答案没有评分"))
                    for (QAbstractButton *b : m->buttons())
                        if (b->text() == QStringLiteral("仍然导出"))
                            b->click();
    };
    auto field = [&w](const char *name) { return w.findChild<QLineEdit *>(QLatin1String(name)); };
    auto *spin = w.findChild<QDoubleSpinBox *>(QStringLiteral("pin_fen"));
    auto prompts = [&w] {
        QList<QMessageBox *> open;
        for (QMessageBox *m : w.findChildren<QMessageBox *>())
            if (m->isVisible())
                open << m;
        return open;
    };
    auto button_texts = [](QMessageBox *box) {
        QStringList texts;
        for (QAbstractButton *b : box->buttons())
            texts << b->text();
        texts.sort();
        return texts;
    };
    for (const QString &step : steps) {
        const QString arg = step.section(QLatin1Char(' '), 1);
        if (step == QLatin1String("load")) {
            field("problemfile_input")->setText(dir.filePath("problem.txt"));
            press("problemfile_button");
            field("ansfile_input")->setText(dir.filePath("answer.txt"));
            press("ansfile_button");
            field("stufile_input")->setText(dir.filePath("roster.txt"));
            press("stufile_button");
        } else if (step.startsWith(QLatin1String("mark "))) {
            spin->setValue(arg.toDouble());
            press("save");
        } else if (step.startsWith(QLatin1String("type "))) {
            spin->setValue(arg.toDouble());
        } else if (step == QLatin1String("next") || step == QLatin1String("last")) {
            press(qPrintable(step));
        } else if (step == QLatin1String("tongji")) {
            press("tongji_button");
        } else if (step.startsWith(QLatin1String("answer "))) {
            // The stale-table question: a button by its text, or Enter or Escape.
            QCOMPARE(prompts().size(), 1);
            QMessageBox *box = prompts().first();
            if (arg == QLatin1String("Enter") || arg == QLatin1String("Escape"))
                QTest::keyClick(box, arg == QLatin1String("Enter") ? Qt::Key_Return : Qt::Key_Escape);
            for (QAbstractButton *b : box->buttons())
                if (b->text() == arg)
                    b->click();
            QTRY_VERIFY(prompts().isEmpty());
            const bool rebuilt = arg == QStringLiteral("重新统计并导出");
            QCOMPARE(QFileInfo::exists(dir.filePath("成绩.xlsx")), rebuilt);
            auto *table = w.findChild<QTableWidget *>(QStringLiteral("score_show"));
            bool seven = false;  // the mark given after the first table was built
            for (int r = 0; r < table->rowCount(); ++r)
                for (int c = 0; c < table->columnCount(); ++c)
                    seven = seven || (table->item(r, c) && table->item(r, c)->text().toDouble() == 7.0);
            QCOMPARE(seven, rebuilt);
        } else if (step == QLatin1String("export stale")) {
            // The table lacks a mark: nothing is written before the teacher answers.
            field("input_file")->setText(dir.filePath("成绩.xlsx"));
            press("print_button");
            QVERIFY(!QFileInfo::exists(dir.filePath("成绩.xlsx")));
            QCOMPARE(prompts().size(), 1);
            QMessageBox *box = prompts().first();
            QCOMPARE(button_texts(box), (QStringList{QStringLiteral("取消"), QStringLiteral("重新统计并导出")}));
            QVERIFY(box->isModal() && box->windowModality() == Qt::WindowModal);  // open(), not exec()
            continue;
        } else {
            const bool fails = step == QLatin1String("export fails");
            field("input_file")->setText(dir.filePath(fails ? "missing/成绩.xlsx" : "成绩.xlsx"));
            press("print_button");
            QCOMPARE(QFileInfo::exists(dir.filePath("成绩.xlsx")), !fails);
            QCOMPARE(prompts().size(), fails ? 1 : 0);  // the failure is told
            for (QMessageBox *m : prompts())
                m->close();
        }
        QVERIFY2(prompts().isEmpty(), qPrintable(step));
    }

    if (!asks) {
        QVERIFY(w.close());
        QVERIFY(!w.isVisible());
        QVERIFY(prompts().isEmpty());
        return;
    }
    // The question is open, the window still there; a second close asks no second question.
    const StoreFingerprint before = store_fingerprint(*st);
    const double on_screen = spin->value();
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QVERIFY(!w.close());
    QCOMPARE(prompts().size(), 1);
    QMessageBox *box = prompts().first();
    QVERIFY2(box->text().contains(QStringLiteral("没有导出")) && box->text().contains(QStringLiteral("成绩库")),
             qPrintable(box->text()));
    QCOMPARE(button_texts(box), (QStringList{QStringLiteral("取消"), QStringLiteral("退出")}));
    QVERIFY(box->isModal() && box->windowModality() == Qt::WindowModal);  // open(), not exec()

    // Enter and Escape choose 取消: one key too many while marking loses nothing.
    QCOMPARE(box->defaultButton()->text(), QStringLiteral("取消"));
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        QTest::keyClick(prompts().first(), key);
        QTRY_VERIFY(prompts().isEmpty());
        QVERIFY(w.isVisible());
        QVERIFY(!w.close());
        QCOMPARE(prompts().size(), 1);
    }
    box = prompts().first();
    // 取消: back to the window, nothing changed.
    for (QAbstractButton *b : box->buttons())
        if (b->text() == QStringLiteral("取消"))
            b->click();
    QTRY_VERIFY(prompts().isEmpty());
    QVERIFY(w.isVisible());
    QCOMPARE(spin->value(), on_screen);
    QVERIFY2(store_fingerprint(*st) == before, qPrintable(changed_fields(before, store_fingerprint(*st)).join(", ")));

    // 退出: the window closes.
    QVERIFY(!w.close());
    QCOMPARE(prompts().size(), 1);
    for (QAbstractButton *b : prompts().first()->buttons())
        if (b->text() == QStringLiteral("退出"))
            b->click();
    QTRY_VERIFY(!w.isVisible());
    QVERIFY(prompts().isEmpty());
}

Q_DECLARE_METATYPE(QMargins)

// Where the window opens: the form's 1200 × 800 where it fits with its frame, else as
// large as fits, centred, frame and all, inside the free area of the screen.
void TestWindow::fitted_geometry_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QMargins>("frame");
    QTest::addColumn<QRect>("expected");
    const QMargins frame(8, 31, 8, 8);
    QTest::newRow("1600 x 1000: as the form asks") << QRect(0, 0, 1600, 960) << frame << QRect(200, 91, 1200, 800);
    QTest::newRow("exactly fits") << QRect(0, 0, 1216, 839) << frame << QRect(8, 31, 1200, 800);
    QTest::newRow("one pixel short") << QRect(0, 0, 1216, 838) << frame << QRect(8, 31, 1200, 799);
    QTest::newRow("1366 x 768 above a taskbar") << QRect(0, 0, 1366, 728) << frame << QRect(83, 31, 1200, 689);
    QTest::newRow("1920 x 1080 at 150 %") << QRect(0, 0, 1280, 672) << frame << QRect(40, 31, 1200, 633);
    QTest::newRow("1024 x 768: narrower too") << QRect(0, 0, 1024, 728) << frame << QRect(8, 31, 1008, 689);
    QTest::newRow("taskbar on top, second screen") << QRect(1920, 40, 1366, 728) << frame << QRect(2003, 71, 1200, 689);
    // Openbox's frame at 100 %, on a screen without a panel: the frame's foot on the screen's last row.
    QTest::newRow("openbox on 1366 x 768") << QRect(0, 0, 1366, 768) << QMargins(1, 20, 1, 5)
                                           << QRect(83, 20, 1200, 743);
    QTest::newRow("no frame") << QRect(0, 0, 1366, 728) << QMargins() << QRect(83, 0, 1200, 728);
    QTest::newRow("below the minimum: corner on the screen")
        << QRect(-800, 0, 500, 300) << frame << QRect(-792, 31, 600, 400);
}

void TestWindow::fitted_geometry()
{
    QFETCH(QRect, available);
    QFETCH(QMargins, frame);
    QFETCH(QRect, expected);
    const QRect got = fitted_window_geometry(available, frame, QSize(1200, 800), QSize(600, 400));
    QCOMPARE(got, expected);
    if (got.width() > 600 && got.height() > 400)
        QVERIFY(available.contains(got.marginsAdded(frame)));
}

QTEST_MAIN(TestWindow)
#include "test_window.moc"

// Qt's own texts follow its translation: the file dialog Qt draws where there
// is no platform dialog, and a text field's context menu. Without one, velora
// starts all the same, in Qt's English.
void TestWindow::qt_texts_data()
{
    QTest::addColumn<bool>("qt_folders");
    QTest::addColumn<QString>("cancel");
    QTest::addColumn<QString>("copy");
    QTest::newRow("Qt's translations") << true << QStringLiteral("取消") << QStringLiteral("复制(&C)");
    QTest::newRow("none found") << false << QStringLiteral("Cancel") << QStringLiteral("&Copy");
}

void TestWindow::qt_texts()
{
    QFETCH(bool, qt_folders);
    QFETCH(QString, cancel);
    QFETCH(QString, copy);
    QTemporaryDir empty;
    const QStringList folders = qt_folders ? qt_translation_folders() : QStringList{empty.path(), QString()};
    std::unique_ptr<QTranslator> installed(install_qt_translation(folders));
#ifdef Q_OS_WIN
    if (qt_folders && !installed)
        QSKIP("qtbase_zh_CN.qm is beside the packaged velora.exe, not the test's");
#endif
    QVERIFY2(bool(installed) == qt_folders, qPrintable(folders.join(QLatin1Char(' '))));
    QFileDialog dialog(nullptr, QStringLiteral("选择试题文件"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto *buttons = dialog.findChild<QDialogButtonBox *>();
    QVERIFY(buttons);
    QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), cancel);
    QLineEdit field;
    const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
    QStringList texts;
    for (QAction *a : menu->actions())
        texts << a->text().section(QLatin1Char('\t'), 0, 0);  // without the shortcut
    QVERIFY2(texts.contains(copy), qPrintable(texts.join(QLatin1Char('|'))));
    velora w;
    show_main_window(w);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
}
