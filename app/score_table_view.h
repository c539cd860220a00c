// The score table widget of the "分数" tab: filled from the store, read back
// for the workbook writers.
#pragma once

#include "exam/exam_store.h"
#include "export/score_sheet.h"

class QTableWidget;

// Rebuilds the table from the store: rows in roster order, scores sorting as numbers.
void fill_score_table(QTableWidget &table, const ExamStore &st);

// What the table shows, in the displayed row order, for the workbook writers.
ScoreSheet table_contents(const QTableWidget &table);
