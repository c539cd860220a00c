// Builds the score table from the store; the items remember their numbers
// so sorting and the export treat scores as numbers, not text.
#include "app/score_table_view.h"

#include "exam/utf8_text.h"
#include "marking/analysis.h"
#include "marking/scoring.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QTableWidget>
#include <QTableWidgetItem>

namespace {

constexpr int kScoreRole = Qt::UserRole;

class ScoreItem : public QTableWidgetItem {
public:
    // The number carried is the one the text shows, so sorting and the
    // workbook's "0.00" cells agree with the table to the last digit.
    explicit ScoreItem(double value) : QTableWidgetItem(format_score(value), UserType)
    {
        setData(kScoreRole, text().toDouble());
    }

    QTableWidgetItem *clone() const override { return new ScoreItem(*this); }

    bool operator<(const QTableWidgetItem &other) const override
    {
        const QVariant theirs = other.data(kScoreRole);
        if (theirs.isValid())
            return data(kScoreRole).toDouble() < theirs.toDouble();
        return QTableWidgetItem::operator<(other);
    }
};

}  // namespace

void fill_score_table(QTableWidget &table, const ExamStore &st)
{
    const int questions = st.xuan_count + st.unxuan_count;

    // Items landing in a sorted column would move rows mid-fill and tear names
    // from their scores: fill unsorted, then sort again.
    table.setSortingEnabled(false);
    table.clear();
    table.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table.setRowCount(st.stu_count);
    table.setColumnCount(questions + 2);
    for (int r = 0; r < st.stu_count; ++r) {
        const int s = r + 1;
        for (int p = 1; p <= questions; ++p)
            table.setItem(r, p + 1, new ScoreItem(st.stu_score[s][p]));
        table.setItem(r, 1, new ScoreItem(st.stu_total[s]));
        const char *name = st.stu_name[s];
        table.setItem(r, 0, new QTableWidgetItem(utf8_text(name, sizeof st.stu_name[s])));
    }
    QStringList headers{QCoreApplication::translate("velora", "学生信息"),
                        QCoreApplication::translate("velora", "总分")};
    headers << question_labels(st);  // the analysis names the questions alike
    table.setHorizontalHeaderLabels(headers);

    // Fresh tables show roster order; a column is sorted only when clicked.
    table.horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table.setSortingEnabled(true);
}

ScoreSheet table_contents(const QTableWidget &table)
{
    ScoreSheet sheet;
    const int columns = table.columnCount();
    for (int c = 0; c < columns; ++c) {
        const QTableWidgetItem *h = table.horizontalHeaderItem(c);
        sheet.headers << (h ? h->text() : QString());
    }
    const int rows = table.rowCount();
    sheet.rows.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        QVector<SheetCell> row(columns);
        for (int c = 0; c < columns; ++c) {
            const QTableWidgetItem *it = table.item(r, c);
            if (!it)
                continue;
            row[c].text = it->text();
            const QVariant v = it->data(kScoreRole);
            if (v.isValid()) {
                row[c].numeric = true;
                row[c].value = v.toDouble();
            }
        }
        sheet.rows.push_back(row);
    }
    return sheet;
}
