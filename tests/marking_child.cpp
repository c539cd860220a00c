// A velora that marks and is then killed: the test of marks outliving their
// process starts it, waits for its word and kills it (SIGKILL, TerminateProcess).
// Arguments: journal folder, problem, answer, roster, then the marks to give,
// one press of 下一题 each.
#include "app/velora.h"
#include "exam/exam_store.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5)
        return 2;
    velora w(exam_store);
    w.keep_library_in(args[1]);
    w.show();
    const char *const fields[3][2] = {{"problemfile_input", "problemfile_button"},
                                      {"ansfile_input", "ansfile_button"},
                                      {"stufile_input", "stufile_button"}};
    for (int i = 0; i < 3; ++i) {
        w.findChild<QLineEdit *>(QLatin1String(fields[i][0]))->setText(args[2 + i]);
        w.findChild<QPushButton *>(QLatin1String(fields[i][1]))->click();
    }
    auto *spin = w.findChild<QDoubleSpinBox *>(QStringLiteral("pin_fen"));
    auto *next = w.findChild<QPushButton *>(QStringLiteral("next"));
    for (int i = 5; i < args.size(); ++i) {
        spin->setValue(args[i].toDouble());
        next->click();
    }
    // Every press has returned: its mark is on disk, or lost for good.
    std::printf("marked %d\n", int(args.size() - 5));
    std::fflush(stdout);
    return app.exec();
}
