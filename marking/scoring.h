// Choice scoring, totals and the text of a score, free of widgets; the table
// of the "分数" tab is built from them in app/score_table_view.
#pragma once

#include "exam/exam_store.h"

#include <QString>

// A score's cell text: two decimals, whatever the magnitude.
QString format_score(double value);

// Scores every choice question against the key and sums every total.
// A choice slot is rewritten on every call, so a changed key or roster
// leaves no stale score behind.
void compute_scores(ExamStore &st);
