// Slots of the main window. Each one stays thin: the work is done by the
// loaders, the marking cursor, the score table and the workbook export.
#include "app/velora.h"

#include "ui_velora.h"

#include "app/score_entry.h"
#include "app/score_table_view.h"
#include "exam/utf8_text.h"
#include "app/window_fit.h"
#include "exam/answer_loader.h"
#include "exam/exam_store.h"
#include "exam/problem_loader.h"
#include "exam/roster_loader.h"
#include "export/workbook_export.h"
#include "marking/analysis.h"
#include "marking/marking_cursor.h"
#include "marking/scoring.h"

#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QToolTip>

namespace {

// LCD numbers keep their digit count unless a value would not fit; then they
// widen so the true value is always shown.
void show_int(QLCDNumber *lcd, int value)
{
    if (lcd->checkOverflow(value))
        lcd->setDigitCount(QString::number(value).size());
    lcd->display(value);
}

// A score as the LCD shows it: two decimals at most, no trailing zeros.
QString score_text(double value)
{
    QString text = QString::number(value, 'f', 2);
    while (text.contains(QLatin1Char('.')) && (text.endsWith(QLatin1Char('0')) || text.endsWith(QLatin1Char('.'))))
        text.chop(1);
    return text;
}

void show_double(QLCDNumber *lcd, double value)
{
    const QString text = score_text(value);
    if (text.size() > lcd->digitCount())
        lcd->setDigitCount(text.size());
    lcd->display(value);
}

// Enough lines to name the students; the rest goes into the box's details.
constexpr int kListedStudents = 15;

// Keeps a message box's details button in Chinese. Qt relabels it in English
// on every press, just before it shows or hides the details; the label follows
// the details' show and hide, so it is set after Qt's.
class ChineseDetailsLabel : public QObject {
public:
    ChineseDetailsLabel(QPushButton *button, QWidget *details) : QObject(button), button_(button), details_(details)
    {
        details->installEventFilter(this);
        relabel();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == details_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
            relabel();
        return false;
    }

private:
    void relabel()
    {
        button_->setText(details_->isHidden() ? QCoreApplication::translate("velora", "显示详细信息…")
                                              : QCoreApplication::translate("velora", "隐藏详细信息…"));
    }

    QPushButton *button_;
    QWidget *details_;
};

}  // namespace

velora::velora(QWidget *parent) : velora(exam_store, parent) { }

velora::velora(ExamStore &store, QWidget *parent) : QMainWindow(parent), ui(new Ui_velora), st(store)
{
    ui->setupUi(this);
    // The keys press the same buttons a mouse would.
    score_entry = new ScoreEntry(ui->pin_fen);
    score_entry->on_enter = [this] { ui->next->click(); };
    score_entry->on_shift_enter = [this] { ui->last->click(); };
    score_entry->on_refused = [this](const QString &typed) { tell_refused(typed); };
    connect(ui->tabWidget, &QTabWidget::currentChanged, this, [this] { focus_score(); });
}

velora::~velora()
{
    delete ui;
}

void show_main_window(velora &window)
{
    fit_window_to_screen(window);
    window.show();
    window.setWindowTitle(QCoreApplication::translate("velora", "velora试卷评测系统-教师端"));
}

void velora::show_warning(const QString &title, const QString &text, const QStringList &details)
{
    // Non-blocking: the teacher reads it while the window stays usable, and tests can read it.
    auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->button(QMessageBox::Ok)->setText(tr("确定"));
    if (!details.isEmpty()) {
        box->setDetailedText(details.join(QLatin1Char('\n')));
        QTextEdit *edit = box->findChild<QTextEdit *>();
        for (QAbstractButton *b : box->buttons()) {
            auto *push = qobject_cast<QPushButton *>(b);
            if (push && edit && edit->parentWidget() && box->buttonRole(b) == QMessageBox::ActionRole)
                new ChineseDetailsLabel(push, edit->parentWidget());
        }
    }
    box->open();
}

void velora::show_notices(const QString &title, const QVector<LoadNotice> &notices)
{
    QStringList texts;
    for (const LoadNotice &n : notices)
        texts << load_notice_message(n);
    if (!texts.isEmpty())
        show_warning(title, texts.join(QStringLiteral("\n\n")));
}

void velora::store_mark_on_screen()
{
    // As every marking press does first; a refused load never gets here. A
    // field whose text is not what the teacher typed stores nothing.
    if (cursor_on_item(st) && !score_entry->refused())
        store_current_mark();
}

void velora::refresh_marking_view()
{
    if (st.cur_stu <= 0 || st.cur_pro <= 0)
        return;  // no roster yet: nothing on the marking tab
    if (check_cursor(st) == CursorState::no_items) {
        show_int(ui->total_num, 0);
        clear_marking_view();
        return;
    }
    show_int(ui->total_num, st.mark_steps);
    show_current_item();
    focus_score();
}

LoadOptions velora::storing_mark_on_screen()
{
    LoadOptions options;
    options.before_commit = [this] { store_mark_on_screen(); };
    return options;
}

bool velora::accepted(const LoadReport &report, const QString &failure_title)
{
    if (!report.ok())
        show_warning(failure_title, load_error_message(report.error));
    return report.ok();
}

void velora::on_problemfile_button_clicked()
{
    const LoadReport r = load_problem_file(st, ui->problemfile_input->text(), storing_mark_on_screen());
    if (!accepted(r, tr("导入试题文件失败")))
        return;
    show_int(ui->xuan_number, st.xuan_count);
    show_int(ui->unxuan_number, st.unxuan_count);
    refresh_marking_view();
    show_notices(tr("试题文件已导入，但请注意"), r.notices);
}

void velora::on_ansfile_button_clicked()
{
    const LoadReport r = load_answer_file(st, ui->ansfile_input->text(), storing_mark_on_screen());
    if (!accepted(r, tr("导入答案文件失败")))
        return;
    refresh_marking_view();
    show_notices(tr("答案文件已导入，但请注意"), r.notices);
}

void velora::on_stufile_button_clicked()
{
    const LoadReport r = load_roster_file(st, ui->stufile_input->text());
    if (!accepted(r, tr("导入学生文件失败")))
        return;
    show_int(ui->student_number, st.stu_count);
    start_marking();
    QStringList notices, lines;
    for (const LoadNotice &n : r.notices)
        notices << load_notice_message(n);
    for (const SheetGap &g : r.gaps)
        lines << sheet_gap_message(g);
    if (!notices.isEmpty() || !lines.isEmpty())
        show_roster_report(notices, lines);
}

void velora::show_roster_report(const QStringList &notices, const QStringList &lines)
{
    // One box: what is wrong with the roster comes first, as it may be why sheets were not found.
    QStringList parts = notices;
    const bool cut = lines.size() > kListedStudents;
    if (!lines.isEmpty()) {
        QStringList shown = lines.mid(0, kListedStudents);
        if (cut)
            shown << tr("……共 %1 名学生的答卷有问题，详见详细信息。").arg(lines.size());
        parts << tr("以下学生的答卷缺失或不完整，缺少的部分按空白处理，仍可评分：\n") + shown.join(QLatin1Char('\n'));
    }
    show_warning(lines.isEmpty() ? tr("学生文件已导入，但请注意") : tr("部分答卷缺失或不完整"),
                 parts.join(QStringLiteral("\n\n")), cut ? lines : QStringList());
}

void velora::start_marking()
{
    begin_marking(st);
    show_int(ui->total_num, st.mark_steps);
    if (st.mark_steps <= 0) {
        clear_marking_view();
        return;
    }
    show_current_item();
    // The first answer is ready to mark: its tab comes up with the score field ready for typing.
    ui->tabWidget->setCurrentWidget(ui->test);
    focus_score();
}

void velora::focus_score()
{
    if (ui->tabWidget->currentWidget() == ui->test && cursor_on_item(st))
        score_entry->take_focus();
}

void velora::tell_refused(const QString &typed)
{
    const int p = st.xuan_count + st.cur_pro;
    const QString max = cursor_on_item(st) ? score_text(st.pro_score[p]) : score_text(ui->pin_fen->maximum());
    const QString text = tr("“%1”不能作为本题的评分：本题满分 %2 分，评分在 0 到 %2 之间，最多两位小数。\n"
                            "这次的评分没有保存，请重新输入。")
                             .arg(typed, max);
    QToolTip::showText(ui->pin_fen->mapToGlobal(QPoint(0, ui->pin_fen->height())), text, ui->pin_fen, QRect(), 15000);
}

bool velora::score_refused()
{
    // A press on a field whose text is not what the teacher typed stores
    // nothing and stays: the teacher retypes the whole value.
    if (!score_entry->refused())
        return false;
    score_entry->hold();
    ui->pin_fen->setFocus(Qt::OtherFocusReason);
    tell_refused(score_entry->refused_text());
    return true;
}

void velora::clear_marking_view()
{
    ui->had_num->display(0);
    ui->jindu->setValue(0);
    ui->pro_out->clear();
    ui->ans_out->clear();
    ui->stu_out->clear();
}

void velora::store_current_mark()
{
    store_mark(st, ui->pin_fen->value());
}

void velora::show_current_item()
{
    const int p = st.xuan_count + st.cur_pro;
    show_double(ui->highest_score, st.pro_score[p]);
    const QString question = utf8_text(st.pro_text[p], sizeof st.pro_text[p]);
    const QString standard = utf8_text(st.ans_text[st.cur_pro], sizeof st.ans_text[st.cur_pro]);
    const QString answer = utf8_text(st.stu_text[st.cur_stu][st.cur_pro], sizeof st.stu_text[st.cur_stu][st.cur_pro]);
    ui->pro_out->setText(question);
    ui->ans_out->setText(standard);
    // A student's answer is shown literally: markup in it must neither render nor hide anything.
    ui->stu_out->setPlainText(answer);
    ui->jindu->setValue(progress_percent(st));
    ui->pin_fen->setMaximum(st.pro_score[p]);
    ui->pin_fen->setMinimum(0.0);
    ui->pin_fen->setValue(st.stu_score[st.cur_stu][p]);
    score_entry->reset();
    QToolTip::hideText();
    show_int(ui->had_num, current_item(st));
}

bool velora::cursor_ready()
{
    const CursorState state = check_cursor(st);
    if (state == CursorState::adjusted) {
        // The item on screen no longer exists; show the one the cursor now names, store nothing.
        show_int(ui->total_num, st.mark_steps);
        show_current_item();
    }
    return state == CursorState::ready;
}

void velora::on_save_clicked()
{
    if (!cursor_ready() || score_refused())
        return;
    store_current_mark();
    QToolTip::hideText();
    focus_score();
}

void velora::on_last_clicked()
{
    store_and_step(step_back);
}

void velora::on_next_clicked()
{
    store_and_step(step_forward);
}

void velora::store_and_step(bool (*step)(ExamStore &))
{
    if (!cursor_ready() || score_refused())
        return;
    store_current_mark();
    QToolTip::hideText();
    if (step(st))
        show_current_item();
    focus_score();
}

void velora::on_tongji_button_clicked()
{
    // Every press rebuilds from what the store holds now, so corrected marks
    // reach the table, the one still on screen included.
    store_mark_on_screen();
    st.tongji_done = true;
    compute_scores(st);
    fill_score_table(*ui->score_show, st);
    analysis = std::make_unique<ClassAnalysis>(analyse_class(st));
    table_marks = snapshot_marks(st);
}

void velora::choose_input_file(QLineEdit *field, const QString &caption)
{
    // A cancelled dialog empties the field, as the form always has.
    field->setText(QFileDialog::getOpenFileName(this, caption, QStringLiteral("/home"), QString()));
}

void velora::on_choose_problem_file_clicked()
{
    choose_input_file(ui->problemfile_input, tr("选择试题文件"));
}

void velora::on_choose_answer_file_clicked()
{
    choose_input_file(ui->ansfile_input, tr("选择答案文件"));
}

void velora::on_choose_student_file_clicked()
{
    choose_input_file(ui->stufile_input, tr("选择学生导入文件"));
}

void velora::on_pushButton_clicked()
{
    const QString filter = tr("(*.xlsx *.xls)");
    const QString caption = tr("导出分数表格");
    ui->input_file->setText(QFileDialog::getSaveFileName(this, caption, QStringLiteral("/home"), filter));
}

void velora::on_print_button_clicked()
{
    if (ui->input_file->text().isEmpty())
        return;
    // Made absolute here, so the message names the file that was meant, not a bare name.
    const QString path = QDir::current().absoluteFilePath(ui->input_file->text());
    if (!marks_differ(table_marks, marks_now())) {
        export_table(path);
        return;
    }
    // The table on screen lacks marks given since it was built: never write it as if it held them.
    ask(tr("分数表不是最新的"),
        tr("“统计分数”之后又给出或修改了评分，屏幕上的分数表还没有包含它们。\n"
           "按“重新统计并导出”，先重新统计分数，再导出。"),
        tr("重新统计并导出"), [this, path] {
            on_tongji_button_clicked();
            export_table(path);
        });
}

void velora::export_table(const QString &path)
{
    const ExportError e = export_workbook(path, table_contents(*ui->score_show), analysis.get());
    if (!e.ok()) {
        show_warning(tr("导出失败"), export_error_message(e));
        return;
    }
    exported_marks = table_marks;
}

QMessageBox *velora::ask(const QString &title, const QString &text, const QString &go, std::function<void()> on_go)
{
    auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::NoButton, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *yes = box->addButton(go, QMessageBox::AcceptRole);
    QPushButton *cancel = box->addButton(tr("取消"), QMessageBox::RejectRole);
    // Enter and Escape leave everything as it was: one Enter too many while
    // marking at the keyboard must not lose anything.
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(yes, &QPushButton::clicked, this, std::move(on_go));
    // Non-blocking: the window stays as it is until the teacher answers.
    box->open();
    return box;
}

MarkSnapshot velora::marks_now() const
{
    // A mark typed but not yet stored counts as given; a refused text is no mark.
    return cursor_on_item(st) && !score_entry->refused() ? snapshot_marks(st, ui->pin_fen->value()) : snapshot_marks(st);
}

bool velora::marks_would_be_lost() const
{
    return marks_differ(exported_marks, marks_now());
}

void velora::closeEvent(QCloseEvent *event)
{
    if (close_confirmed || !marks_would_be_lost()) {
        event->accept();
        return;
    }
    event->ignore();
    ask_before_closing();
}

void velora::ask_before_closing()
{
    if (close_prompt && close_prompt->isVisible()) {  // a second close while the question is open
        close_prompt->raise();
        close_prompt->activateWindow();
        return;
    }
    close_prompt = ask(tr("评分尚未导出"),
                       tr("有评分还没有导出到表格文件，退出后这些评分将会丢失。\n"
                          "要保留它们，请取消，在“分数”页按“统计分数”后导出。"),
                       tr("退出"), [this] {
                           close_confirmed = true;
                           close();
                       });
}
