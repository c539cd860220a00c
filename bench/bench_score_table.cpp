// Score table build for 1000 students x 200 questions (100 choice, 100
// written): choice scoring, totals and the filled table, against creating
// and setting the same number of bare QTableWidgetItems in the same run.
#include "exam/exam_store.h"
#include "app/score_table_view.h"
#include "marking/scoring.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kRuns = 5;
    ExamStorePtr st = make_blank_store();
    st->xuan_count = limits::choice;
    st->unxuan_count = limits::written;
    st->stu_count = limits::students;
    for (int k = 0; k < limits::choice; ++k)
        st->ans_key[k] = char('A' + k % 4);
    for (int p = 1; p <= limits::questions; ++p)
        st->pro_score[p] = 1 + p % 7;
    for (int s = 1; s <= limits::students; ++s) {
        std::snprintf(st->stu_name[s], sizeof st->stu_name[s], "学生%04d", s);
        for (int k = 0; k < limits::choice; ++k)
            st->stu_xuan[s][k] = char('A' + (k + s) % 4);
        for (int q = 1; q <= limits::written; ++q)
            st->stu_score[s][limits::choice + q] = (s * q) % 9 * 0.5;
    }
    const int rows = limits::students, columns = limits::questions + 2;

    double build = 1e300, bare = 1e300;
    for (int run = 0; run < kRuns; ++run) {
        QTableWidget table;
        QElapsedTimer t;
        t.start();
        compute_scores(*st);
        fill_score_table(table, *st);
        build = std::min(build, t.nsecsElapsed() / 1e6);

        QTableWidget plain;
        t.restart();
        plain.setRowCount(rows);
        plain.setColumnCount(columns);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < columns; ++c)
                plain.setItem(r, c, new QTableWidgetItem(QStringLiteral("0.00")));
        bare = std::min(bare, t.nsecsElapsed() / 1e6);
    }
    std::printf("score table of %d students x %d columns, best of %d runs\n", rows, columns, kRuns);
    std::printf("  bare QTableWidgetItems (baseline): %8.1f ms\n", bare);
    std::printf("  scoring + table build:             %8.1f ms  (%.2fx the baseline)\n", build, build / bare);
    return 0;
}
