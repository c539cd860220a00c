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
#include "marking/exam_comparison.h"
#include "marking/legacy_journal.h"
#include "marking/mark_library.h"
#include "marking/marking_cursor.h"
#include "marking/scoring.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
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

// The teacher's choices, kept between runs (~/.config/velora/velora.conf, HKCU\Software\velora).
const QString kSettingsOwner = QStringLiteral("velora");

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
      library_folder(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation))
{
    ui->setupUi(this);
    // The keys press the same buttons a mouse would.
    score_entry = new ScoreEntry(ui->pin_fen);
    score_entry->on_enter = [this] { ui->next->click(); };
    score_entry->on_shift_enter = [this] { ui->last->click(); };
    score_entry->on_refused = [this](const QString &typed) { tell_refused(typed); };
    score_entry->on_ctrl_enter = [this] { to_next_unmarked(); };
    connect(ui->tabWidget, &QTabWidget::currentChanged, this, [this] { focus_score(); });
    ui->next->setToolTip(tr("保存评分，评下一个答案（Enter）。Ctrl+Enter：跳到下一个还没有评分的答案"));
    ui->last->setToolTip(tr("保存评分，回到上一个答案（Shift+Enter）。Ctrl+Enter：跳到下一个还没有评分的答案"));
    // Enter in a path field loads it, as its button does.
    connect(ui->problemfile_input, &QLineEdit::returnPressed, ui->problemfile_button, &QPushButton::click);
    connect(ui->ansfile_input, &QLineEdit::returnPressed, ui->ansfile_button, &QPushButton::click);
    connect(ui->stufile_input, &QLineEdit::returnPressed, ui->stufile_button, &QPushButton::click);
    // The order marked in last time.
    ui->marking_order->setCurrentIndex(QSettings(kSettingsOwner, kSettingsOwner).value(QStringLiteral("marking/order")).toString()
                                               == QLatin1String("by_question")
                                           ? 1
                                           : 0);
    order = ui->marking_order->currentIndex() == 1 ? MarkingOrder::by_question : MarkingOrder::by_student;
    connect(ui->marking_order, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &velora::change_order);
}

velora::~velora()
{
    delete ui;
}

void velora::keep_library_in(const QString &folder)
{
    library_folder = folder;
    library.reset();
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

void velora::store_mark_on_screen(bool even_unchanged)
{
    // As every marking press does first; a refused load never gets here. A
    // field whose text is not what the teacher typed stores nothing, and an
    // answer never marked is not marked by a load or a close passing it.
    if (!cursor_on_item(st) || score_entry->refused())
        return;
    if (even_unchanged || st.stu_marked[st.cur_stu][st.cur_pro]
        || ui->pin_fen->value() != st.stu_score[st.cur_stu][st.xuan_count + st.cur_pro])
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
        kept_stu = st.cur_stu;
        kept_pro = st.cur_pro;
        kept_student = cursor_on_item(st) ? student_key(st, st.cur_stu) : QPair<QByteArray, int>();
        // The marks stay in the library with the exam they were given in.
        if (pending && pending->switching && library)
            library->close_exam();
    };
    return options;
}

namespace {

// "选择题2、非选择题1", for the teacher to look at.
QString question_names(const QVector<int> &questions, int choice)
{
    QStringList names;
    for (int p : questions)
        names << (p <= choice ? QCoreApplication::translate("velora", "选择题%1").arg(p)
                              : QCoreApplication::translate("velora", "非选择题%1").arg(p - choice));
    return names.join(QStringLiteral("、"));
}

QString when_text(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

QPair<QByteArray, int> velora::student_key(const ExamStore &st, int s)
{
    // Her name, and which of the same names she is.
    const QByteArray name = identity_name(st.stu_name[s]);
    int repeat = 0;
    for (int k = 1; k <= s; ++k)
        repeat += identity_name(st.stu_name[k]) == name ? 1 : 0;
    return {name, repeat};
}

MarkLibrary &velora::open_library()
{
    if (!library) {
        library = std::make_unique<MarkLibrary>();
        const LibraryError e = library->open(library_folder);
        if (e.fault == LibraryFault::damaged)
            show_warning(tr("成绩库已损坏"), library_error_message(e));
        else
            tell_library_trouble(e);
    }
    return *library;
}

void velora::ask_same_exam(const QString &title, const QString &text, Answer &slot, const std::function<void()> &again)
{
    // Enter, Escape and closing the box mean another exam: no mark moves to another paper unasked.
    const auto retry = [this, &slot, again](Answer a) {
        slot = a;
        ++retrying;
        again();
        --retrying;
    };
    ask(title, text, tr("另一场考试（从头评分）"), [retry] { retry(Answer::other); }, tr("同一场考试（保留评分）"),
        [retry] { retry(Answer::same); });
}

bool velora::accept_exam(const ExamIdentity &next, const std::function<void()> &again)
{
    pending.reset();
    if (retrying == 0) {  // a new press: no answer given yet
        mended_answer = legacy_answer = Answer::unasked;
        carry_on = false;
    }
    ExamMatch m;
    if (!next.names.isEmpty() && next.unxuan_count > 0)
        m = open_library().match(next);
    const qint64 current = library ? library->exam() : 0;
    if (m.kind == ExamMatchKind::mended) {
        if (mended_answer == Answer::unasked) {
            ask_same_exam(tr("试题文件有改动"),
                          tr("这份试题文件和成绩库中这个班级的考试“%1”题目数量、分值都相同，但下列题目的内容不同：\n%2\n\n"
                             "如果只是改正了题目的文字，请选“同一场考试（保留评分）”，评分全部保留；"
                             "如果这是另一份试卷，请选“另一场考试（从头评分）”，那场考试的评分仍保留在成绩库中。")
                              .arg(m.paper_name, question_names(m.changed, next.xuan_count)),
                          mended_answer, again);
            return false;
        }
        if (mended_answer == Answer::other)
            m = ExamMatch{ExamMatchKind::other, 0, {}, {}};
    }
    auto next_exam = std::make_unique<PendingExam>();
    next_exam->switching = m.kind == ExamMatchKind::none ? current != 0 : m.exam == 0 || m.exam != current;
    if (m.kind != ExamMatchKind::none && next_exam->switching) {
        next_exam->legacy = read_legacy_journal(library_folder, next);
        if (next_exam->legacy.state == LegacyState::found) {
            if (legacy_answer == Answer::unasked) {
                qint64 last = 0;
                for (const LegacyMark &lm : next_exam->legacy.marks)
                    last = qMax(last, lm.given_ms);
                ask_same_exam(
                    tr("找到旧版的评分记录"),
                    tr("velora 1.0.0 为学生名单相同、题目数量和分值相同的一场考试留下了 %1 个评分（最后一个给出于 %2）。"
                       "旧版的评分记录没有记下题目的内容，不能确定是不是这份试卷。\n\n"
                       "是同一份试卷，请选“同一场考试（保留评分）”，这些评分会放进成绩库；"
                       "否则请选“另一场考试（从头评分）”，旧的评分记录不会用到这场考试上。")
                        .arg(next_exam->legacy.marks.size())
                        .arg(when_text(last)),
                    legacy_answer, again);
                return false;
            }
            next_exam->import_legacy = legacy_answer == Answer::same;
        }
    }
    if (next_exam->switching && !carry_on && marks_would_be_lost()) {
        ask(tr("评分尚未导出"),
            tr("这次导入的文件属于另一场考试，而当前考试有评分还没有导出到表格文件。\n"
               "当前考试的评分都保存在成绩库中，再次导入它的文件时会全部恢复；继续导入后，改为评另一场考试。\n"
               "要先导出，请取消，在“分数”页按“统计分数”后导出。"),
            tr("继续"), [this, again] {
                carry_on = true;
                ++retrying;
                again();
                --retrying;
            });
        return false;
    }
    if (next_exam->switching && m.exam != 0) {
        // Claimed before the commit: an exam marked in another window is not loaded here.
        const LibraryError e = library->claim(m.exam);
        if (e.fault == LibraryFault::locked) {
            show_warning(tr("这场考试正在另一个窗口中评分"), library_error_message(e));
            return false;
        }
    }
    next_exam->match = m;
    pending = std::move(next_exam);
    return true;
}

void velora::begin_next_exam()
{
    if (!pending)
        return;
    const std::unique_ptr<PendingExam> next = std::move(pending);
    if (next->switching) {
        // The table and analysis on screen were of the other exam.
        ui->score_show->setRowCount(0);
        analysis.reset();
        table_marks = MarkSnapshot();
    }
    if (next->match.kind == ExamMatchKind::none) {
        if (next->switching)
            clear_marks(st);
        exported_marks = snapshot_marks(st);
        return;
    }
    tell_library_trouble(library->begin(exam_identity(st), next->match));
    LegacyJournal legacy = next->legacy;
    if (legacy.state == LegacyState::found) {
        if (next->import_legacy)
            tell_library_trouble(library->import_marks(legacy.marks));
        set_aside_legacy_journal(legacy);
    } else if (legacy.state == LegacyState::damaged) {
        show_warning(tr("旧版的评分记录已损坏"),
                     tr("velora 1.0.0 留下的这场考试的评分记录已损坏，其中的分数没有使用；原文件已另存为“%1”。")
                         .arg(QDir::toNativeSeparators(legacy.path)));
    }
    const ExamMarks marks = library->marks();
    apply_marks(marks, true);
    exported_marks = snapshot_marks(st);
    // A reload of the exam open, or marks the teacher just took over: no question.
    if (!next->switching || next->import_legacy || marks.unexported == 0) {
        apply_marks(marks, false);
        if (next->switching) {
            place_cursor(marks);
        } else if (kept_stu >= 1 && kept_pro >= 1 && kept_pro <= st.unxuan_count) {
            // A reload of the same exam leaves the teacher at the answer she was on,
            // the same student's where the roster changed.
            for (int s = 1; s <= st.stu_count; ++s)
                if (student_key(st, s) == kept_student) {
                    st.cur_stu = s;
                    st.cur_pro = kept_pro;
                    break;
                }
        }
        refresh_marking_view();
        return;
    }
    offer_recovery(marks);
}

void velora::apply_marks(const ExamMarks &marks, bool as_exported)
{
    clear_marks(st);
    for (const LibraryMark &m : marks.marks) {
        if (m.student < 1 || m.student > st.stu_count || m.question < 1 || m.question > st.unxuan_count)
            continue;
        if (!as_exported || m.exported) {
            st.stu_score[m.student][st.xuan_count + m.question] = as_exported ? m.exported_value : m.value;
            st.stu_marked[m.student][m.question] = true;
        }
    }
}

void velora::place_cursor(const ExamMarks &marks)
{
    if (check_cursor(st) == CursorState::no_items)
        return;
    int s = 0, q = 0;
    if (first_unmarked(st, order, &s, &q)) {
        st.cur_stu = s;
        st.cur_pro = q;
    } else if (marks.last_student >= 1 && marks.last_student <= st.stu_count && marks.last_question >= 1
               && marks.last_question <= st.unxuan_count) {
        st.cur_stu = marks.last_student;
        st.cur_pro = marks.last_question;
    }
}

void velora::offer_recovery(const ExamMarks &marks)
{
    // Meanwhile the store holds what the last export holds.
    refresh_marking_view();
    // Enter and Escape recover: neither key can lose a mark.
    recovery_box = ask(
        tr("恢复上次的评分"),
        tr("成绩库里有这场考试 %1 个还没有导出到表格文件的评分，最后一个评分给出于 %2。\n"
           "（上次评分后没有导出：例如程序被结束、电脑断电或重启，没有导出就关闭了，或者中途导入了另一场考试。）\n"
           "按“恢复”取回全部评分；按“不恢复”只保留上次导出的表格文件里的评分，其余的从成绩库中删除。")
            .arg(marks.unexported)
            .arg(when_text(marks.last_mark_ms)),
        tr("恢复"),
        [this, marks] {
            apply_marks(marks, false);
            place_cursor(marks);
            refresh_marking_view();
        },
        tr("不恢复"),
        [this] {
            tell_library_trouble(library->revert_to_exported());
            const ExamMarks kept = library->marks();
            apply_marks(kept, false);
            place_cursor(kept);
            refresh_marking_view();
        });
}

void velora::record_mark()
{
    if (!library || !library->exam())
        return;
    tell_library_trouble(
        library->record_mark(st.cur_stu, st.cur_pro, st.stu_score[st.cur_stu][st.xuan_count + st.cur_pro]));
}

void velora::tell_library_trouble(const LibraryError &e)
{
    if (e.ok() || library_trouble_told)
        return;
    library_trouble_told = true;
    show_warning(tr("评分无法随时保存"), library_error_message(e));
}

bool velora::accepted(const LoadReport &report, const QString &failure_title)
{
    if (!report.error.ok())
        show_warning(failure_title, load_error_message(report.error));
    return report.ok();
}

void velora::on_problemfile_button_clicked()
{
    const int choice = st.xuan_count, written = st.unxuan_count;
    const LoadReport r = load_problem_file(st, ui->problemfile_input->text(),
                                           load_options([this] { on_problemfile_button_clicked(); }));
    if (!accepted(r, tr("导入试题文件失败")))
        return;
    show_int(ui->xuan_number, st.xuan_count);
    show_int(ui->unxuan_number, st.unxuan_count);
    refresh_marking_view();
    show_notices(tr("试题文件已导入，但请注意"), r.notices);
    begin_next_exam();
    focus_after_load(ui->ansfile_input);
    if (choice != st.xuan_count || written != st.unxuan_count)
        reread_for_new_counts();
}

void velora::reread_for_new_counts()
{
    // The answers and sheets were read for the old counts: read them again, or show none of them.
    const bool answers = st.ans_path[0] != 0, sheets = st.stu_path[0] != 0;
    if (!answers && !sheets)
        return;
    rereading = true;
    if (answers) {
        ensure_field(ui->ansfile_input, st.ans_path);
        if (!load_answers())
            forget_answers(st);
    }
    if (sheets) {
        ensure_field(ui->stufile_input, st.stu_path);
        if (!load_roster())
            forget_sheets(st);
    }
    rereading = false;
    refresh_marking_view();
}

void velora::focus_after_load(QLineEdit *next)
{
    // On to the next path field while the teacher loads the files at the keyboard.
    if (rereading)
        return;
    if (ui->tabWidget->currentWidget() == ui->problem)
        next->setFocus(Qt::OtherFocusReason);
    else
        focus_score();
}

void velora::ensure_field(QLineEdit *field, const char *stored)
{
    if (field->text().isEmpty())
        field->setText(QFile::decodeName(QByteArray(stored)));
}

bool velora::problem_loaded()
{
    if (st.pro_path[0] != 0)
        return true;
    show_warning(tr("请先导入试题文件"),
                 tr("请先导入试题文件，再导入答案文件和学生文件：答案和答卷都要按试题的题数来读。\n这次导入没有进行。"));
    return false;
}

void velora::on_ansfile_button_clicked()
{
    if (!problem_loaded())
        return;
    if (load_answers())
        focus_after_load(ui->stufile_input);
}

bool velora::load_answers()
{
    const LoadReport r
        = load_answer_file(st, ui->ansfile_input->text(), load_options([this] { on_ansfile_button_clicked(); }));
    if (!accepted(r, tr("导入答案文件失败")))
        return false;
    refresh_marking_view();
    show_notices(tr("答案文件已导入，但请注意"), r.notices);
    begin_next_exam();
    return true;
}

void velora::on_stufile_button_clicked()
{
    if (problem_loaded())
        load_roster();
}

bool velora::load_roster()
{
    const LoadReport r
        = load_roster_file(st, ui->stufile_input->text(), load_options([this] { on_stufile_button_clicked(); }));
    if (!accepted(r, tr("导入学生文件失败")))
        return false;
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
    return true;
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
    show_marked_count();
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
    ui->jindu->setValue(progress_percent(st, order));
    ui->pin_fen->setMaximum(st.pro_score[p]);
    ui->pin_fen->setMinimum(0.0);
    ui->pin_fen->setValue(st.stu_score[st.cur_stu][p]);
    score_entry->reset();
    QToolTip::hideText();
    show_int(ui->had_num, current_item(st, order));
    show_marked_count();
}

void velora::show_marked_count()
{
    ui->marked_count->setText(tr("已评 %1 / %2").arg(marked_count(st)).arg(qMax(0, int(st.mark_steps))));
}

void velora::change_order(int index)
{
    order = index == 1 ? MarkingOrder::by_question : MarkingOrder::by_student;
    QSettings(kSettingsOwner, kSettingsOwner).setValue(QStringLiteral("marking/order"),
                         order == MarkingOrder::by_question ? QStringLiteral("by_question") : QStringLiteral("by_student"));
    // The same answer stays on screen, its number in the new order.
    if (cursor_on_item(st)) {
        show_int(ui->had_num, current_item(st, order));
        ui->jindu->setValue(progress_percent(st, order));
    }
    focus_score();
}

void velora::to_next_unmarked()
{
    store_and_step(step_to_unmarked, tr("所有答案都已评分。"));
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

void velora::store_and_step(bool (*step)(ExamStore &, MarkingOrder), const QString &nowhere_to_go)
{
    if (!cursor_ready() || score_refused())
        return;
    store_current_mark();
    QToolTip::hideText();
    if (step(st, order)) {
        show_current_item();
    } else {
        show_marked_count();
        if (!nowhere_to_go.isEmpty())
            statusBar()->showMessage(nowhere_to_go, 5000);
    }
    focus_score();
}

void velora::on_tongji_button_clicked()
{
    // Every press rebuilds from what the store holds now, so corrected marks
    // reach the table, the one still on screen included.
    store_mark_on_screen(true);
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
    int s = 0, q = 0;
    const int unmarked = cursor_on_item(st) ? st.mark_steps - marked_count(st) : 0;
    if (unmarked > 0 && first_unmarked(st, order, &s, &q)) {
        // An answer never marked would go out as a 0 the teacher never gave.
        ask(tr("还有答案没有评分"),
            tr("还有 %1 个非选择题答案没有评分，导出时按 0 分计。第一个是学生“%2”的非选择题%3。\n"
               "按“去评分”回到这个答案；按“仍然导出”照样导出。")
                .arg(unmarked)
                .arg(utf8_text(st.stu_name[s], sizeof st.stu_name[s]))
                .arg(q),
            tr("去评分"),
            [this, s, q] {
                if (s > st.stu_count || q > st.unxuan_count)
                    return;
                st.cur_stu = s;
                st.cur_pro = q;
                show_current_item();
                ui->tabWidget->setCurrentWidget(ui->test);
                focus_score();
            },
            tr("仍然导出"), [this, path] { export_checked(path); });
        return;
    }
    export_checked(path);
}

void velora::export_checked(const QString &path)
{
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
    // Compared with what the library holds now: another class may have exported since 统计分数.
    std::optional<ClassAnalysis> compared;
    if (analysis) {
        compared = *analysis;
        if (library)
            compare_exam(*compared, library->history());
    }
    const ExportError e = export_workbook(path, sheet, compared ? &*compared : nullptr);
    if (!e.ok()) {
        show_warning(tr("导出失败"), export_error_message(e));
        return;
    }
    statusBar()->showMessage(tr("已导出 %1 名学生的成绩到 %2")
                                 .arg(sheet.rows.size())
                                 .arg(QDir::toNativeSeparators(workbook_target(path))),
                             10000);
    exported_marks = table_marks;
    if (library) {
        QVector<double> totals;
        QVector<bool> absent;
        for (int s = 1; s <= st.stu_count; ++s) {
            totals << st.stu_total[s];
            absent << st.stu_absent[s];
        }
        tell_library_trouble(library->record_export(workbook_target(path), totals, absent));
    }
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
        // The mark typed last goes into the library too (not while the store
        // shows the exported marks under an unanswered recovery question);
        // the exam's lock goes with the window.
        if (!recovery_box || !recovery_box->isVisible())
            store_mark_on_screen();
        if (library)
            library->close_exam();
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
                       tr("有评分还没有导出到表格文件。评分都保存在成绩库中，再次导入这场考试的文件时会全部恢复，"
                          "但表格文件里还没有它们。\n"
                          "要现在导出，请取消，在“分数”页按“统计分数”后导出。"),
                       tr("退出"), [this] {
                           close_confirmed = true;
                           close();
                       });
}
