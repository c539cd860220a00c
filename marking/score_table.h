// Choice scoring, totals and the score table shown on the "分数" tab.
#pragma once

#include "exam/exam_store.h"
#include "export/score_sheet.h"

#include <QString>

class QTableWidget;

// A score's cell text: two decimals, whatever the magnitude.
QString format_score(double value);

// Scores every choice question against the key and sums every total.
// A choice slot is rewritten on every call, so a changed key or roster
// leaves no stale score behind.
void compute_scores(ExamStore &st);

// Rebuilds the table from the store: rows in roster order, scores sorting as numbers.
void fill_score_table(QTableWidget &table, const ExamStore &st);

// What the table shows, in the displayed row order, for the workbook writers.
ScoreSheet table_contents(const QTableWidget &table);
