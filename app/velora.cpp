// Slots of the main window. Each one stays thin: the work is done by the
// loaders, the marking cursor, the score table and the workbook export.
#include "app/velora.h"

#include "ui_velora.h"

#include "app/score_entry.h"
#include "app/score_table_view.h"
#include "app/window_fit.h"
#include "exam/answer_loader.h"
#include "exam/exam_store.h"
#include "exam/problem_loader.h"
#include "exam/roster_loader.h"
#include "exam/utf8_text.h"
#include "export/lock_files.h"
#include "export/workbook_export.h"
#include "marking/analysis.h"
#include "marking/mark_journal.h"
#include "marking/marking_cursor.h"
#include "marking/scoring.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
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

velora::velora(ExamStore &store, QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui_velora),
      st(store),
      journal_folder(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
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

void velora::keep_journals_in(const QString &folder)
{
    journal_folder = folder;
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

LoadOptions velora::load_options(std::function<void()> again)
{
    LoadOptions options;
    options.accept_exam = [this, again](const ExamIdentity &next) { return accept_exam(next, again); };
    options.before_commit = [this] {
        store_mark_on_screen();
        if (!next_exam)
            return;
        // The marks stay in the old exam's journal (removed when a workbook holds them all), never in the new exam.
        if (journal && journal->unexported() == 0)
            journal->remove();
        journal.reset();
        clear_marks(st);
    };
    return options;
}

bool velora::accept_exam(const ExamIdentity &next, const std::function<void()> &again)
{
    next_exam.reset();
    if (next == exam_identity(st))
        return true;  // the same exam: its marks and journal stay
    if (!carry_on && marks_would_be_lost()) {
        ask(tr("评分尚未导出"),
            tr("这次导入的文件属于另一场考试（学生名单或题目的数量、分值不同），而当前考试有评分还没有导出到表格文件。"
               "\n"
               "继续导入后，新的考试从头开始评分；当前考试的评分保留在评分记录中，再次导入它的文件时可以恢复。\n"
               "要先导出，请取消，在“分数”页按“统计分数”后导出。"),
            tr("继续"), [this, again] {
                carry_on = true;
                again();
                carry_on = false;
            });
        return false;
    }
    next_exam = std::make_unique<NextExam>();
    if (next.names.isEmpty() || next.unxuan_count <= 0)
        return true;  // nothing to mark yet, nothing to record
    // Opened before the commit: an exam marked in another window is not loaded here.
    auto opened = std::make_unique<MarkJournal>();
    next_exam->opened = opened->open(journal_folder, next);
    if (next_exam->opened.fault == JournalFault::locked) {
        show_warning(tr("这场考试正在另一个窗口中评分"), journal_error_message(next_exam->opened));
        next_exam.reset();
        return false;
    }
    if (opened->is_open())
        next_exam->journal = std::move(opened);
    return true;
}

void velora::begin_next_exam()
{
    if (!next_exam)
        return;
    const std::unique_ptr<NextExam> next = std::move(next_exam);
    // The table and analysis on screen were of the other exam.
    ui->score_show->setRowCount(0);
    analysis.reset();
    table_marks = exported_marks = snapshot_marks(st);
    journal = std::move(next->journal);
    switch (next->opened.fault) {
    case JournalFault::none:
        break;
    case JournalFault::damaged:
    case JournalFault::other_exam:
        show_warning(tr("评分记录已损坏"), journal_error_message(next->opened));
        break;
    default:
        tell_journal_trouble(next->opened);
        break;
    }
    offer_recovery();
}

void velora::offer_recovery()
{
    if (!journal || journal->replay().marks.isEmpty())
        return;
    const JournalReplay &r = journal->replay();
    if (r.unexported == 0) {
        // Every one of them is in a workbook already: nothing to ask.
        restore_from_journal();
        exported_marks = snapshot_marks(st);
        return;
    }
    const QString when = QDateTime::fromMSecsSinceEpoch(r.last_mark_ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    // Enter and Escape recover: neither key can lose a mark.
    recovery_box = ask(
        tr("恢复上次的评分"),
        tr("评分记录里有这场考试 %1 个还没有导出到表格文件的评分，最后一个评分给出于 %2。\n"
           "（上次评分时 velora 没有正常关闭，例如程序被结束、电脑断电或重启；或者中途导入了另一场考试。）\n"
           "按“恢复”取回这些评分，回到最后评分的一题；按“不恢复”将它们丢弃。")
            .arg(r.unexported)
            .arg(when),
        tr("恢复"), [this] { restore_from_journal(); }, tr("不恢复"),
        [this] {
            if (journal)
                tell_journal_trouble(journal->discard());
        });
}

void velora::restore_from_journal()
{
    if (!journal)
        return;
    restore_marks(st, journal->replay());
    refresh_marking_view();
}

void velora::record_mark()
{
    if (!journal || !journal->is_open())
        return;
    tell_journal_trouble(
        journal->record_mark(st.cur_stu, st.cur_pro, st.stu_score[st.cur_stu][st.xuan_count + st.cur_pro]));
}

void velora::tell_journal_trouble(const JournalError &e)
{
    if (e.ok() || journal_trouble_told)
        return;
    journal_trouble_told = true;
    show_warning(tr("评分无法随时保存"), journal_error_message(e));
}

void velora::end_journal()
{
    if (!journal)
        return;
    // Unanswered, the recovery question keeps the marks for the next start.
    if (recovery_box && recovery_box->isVisible())
        journal->close();
    else
        journal->remove();
    journal.reset();
}

bool velora::accepted(const LoadReport &report, const QString &failure_title)
{
    if (!report.error.ok())
        show_warning(failure_title, load_error_message(report.error));
    return report.ok();
}

void velora::on_problemfile_button_clicked()
{
    const LoadReport r = load_problem_file(st, ui->problemfile_input->text(),
                                           load_options([this] { on_problemfile_button_clicked(); }));
    if (!accepted(r, tr("导入试题文件失败")))
        return;
    show_int(ui->xuan_number, st.xuan_count);
    show_int(ui->unxuan_number, st.unxuan_count);
    refresh_marking_view();
    show_notices(tr("试题文件已导入，但请注意"), r.notices);
    begin_next_exam();
}

void velora::on_ansfile_button_clicked()
{
    const LoadReport r
        = load_answer_file(st, ui->ansfile_input->text(), load_options([this] { on_ansfile_button_clicked(); }));
    if (!accepted(r, tr("导入答案文件失败")))
        return;
    refresh_marking_view();
    show_notices(tr("答案文件已导入，但请注意"), r.notices);
}

void velora::on_stufile_button_clicked()
{
    const LoadReport r
        = load_roster_file(st, ui->stufile_input->text(), load_options([this] { on_stufile_button_clicked(); }));
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
    begin_next_exam();
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
    record_mark();
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

void velora::export_table(const QString &path, bool despite_locks)
{
    // A workbook open in a spreadsheet would go on showing the old table there, and be saved over again.
    const QStringList locks = despite_locks ? QStringList() : lock_files_beside(path);
    if (!locks.isEmpty()) {
        ask(tr("文件可能正被打开"),
            tr("该文件可能正被其他程序打开（LibreOffice、WPS 或 Excel 在它旁边留下了锁定文件 %1）：\n%2\n"
               "导出会替换这个文件，而那个程序仍然显示旧的表格；在那里再保存，会把旧的分数写回去。\n"
               "请先在那个程序中关闭它再导出；按“仍然导出”立即替换它。")
                .arg(QDir::toNativeSeparators(QFileInfo(locks.first()).fileName()),
                     QDir::toNativeSeparators(workbook_target(path))),
            tr("仍然导出"), [this, path] { export_table(path, true); });
        return;
    }
    const ScoreSheet sheet = table_contents(*ui->score_show);
    const ExportError e = export_workbook(path, sheet, analysis.get());
    if (!e.ok()) {
        show_warning(tr("导出失败"), export_error_message(e));
        return;
    }
    statusBar()->showMessage(tr("已导出 %1 名学生的成绩到 %2")
                                 .arg(sheet.rows.size())
                                 .arg(QDir::toNativeSeparators(workbook_target(path))),
                             10000);
    exported_marks = table_marks;
    if (journal && journal->is_open())
        tell_journal_trouble(journal->record_export());
}

QMessageBox *velora::ask(const QString &title, const QString &text, const QString &go, std::function<void()> on_go)
{
    return ask(title, text, tr("取消"), {}, go, std::move(on_go));
}

QMessageBox *velora::ask(const QString &title, const QString &text, const QString &safe, std::function<void()> on_safe,
                         const QString &other, std::function<void()> on_other)
{
    auto *box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::NoButton, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *yes = box->addButton(other, QMessageBox::AcceptRole);
    QPushButton *keep = box->addButton(safe, QMessageBox::RejectRole);
    // Enter and Escape choose what loses nothing: one Enter too many while
    // marking at the keyboard must not lose anything.
    box->setDefaultButton(keep);
    box->setEscapeButton(keep);
    // Closing the box any other way counts as the safe button.
    connect(box, &QDialog::finished, this, [box, yes, on_safe = std::move(on_safe), on_other = std::move(on_other)] {
        if (box->clickedButton() == yes)
            on_other();
        else if (on_safe)
            on_safe();
    });
    // Non-blocking: the window stays as it is until the teacher answers.
    box->open();
    return box;
}

MarkSnapshot velora::marks_now() const
{
    // A mark typed but not yet stored counts as given; a refused text is no mark.
    return cursor_on_item(st) && !score_entry->refused() ? snapshot_marks(st, ui->pin_fen->value())
                                                         : snapshot_marks(st);
}

bool velora::marks_would_be_lost() const
{
    return marks_differ(exported_marks, marks_now());
}

void velora::closeEvent(QCloseEvent *event)
{
    if (close_confirmed || !marks_would_be_lost()) {
        end_journal();
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
