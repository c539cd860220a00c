// The main window: the form, the twelve button slots and the marking display.
//
// How a click travels: setupUi() binds every on_<objectName>_clicked slot to its
// button by name. A slot reads its field, calls one GUI-free function of exam/,
// marking/ or export/ on the exam store (the process-wide exam_store unless the
// window was given another), and shows the result in the form (LCD numbers,
// texts, spin box, table) or, when the function returns an error value, its
// message in a non-blocking message box (one per press: notices of a
// successful load go into one box, before any list of sheets). The store is
// the only state of the exam. The window keeps beside it the analysis of the
// last "统计分数" press, next to the table filled by the same press, for the
// export; and the marks that table was built from and those of the table last
// exported, so that closing asks before marks no workbook holds are lost. A
// problem or answer load and "统计分数" store the mark on screen just before
// they use the store; a load then shows the item the cursor names, so the
// marking tab is never stale.
//
// Every mark stored is also committed to the 成绩库 (marking/mark_library),
// in the per-user data folder, which keeps every exam's marks for good: a load
// asks the library which exam it gives, and brings that exam's marks back
// (asking first where some are in no exported workbook, as after a crash). A
// load that would begin another exam while marks are in no workbook asks
// first, as a reminder to export; a mended paper asks whether it is still the
// same exam.
#pragma once

#include "marking/legacy_journal.h"
#include "marking/mark_library.h"
#include "marking/mark_snapshot.h"
#include "marking/marking_cursor.h"

#include <QMainWindow>
#include <QByteArray>
#include <QPair>
#include <QPointer>
#include <QVector>

#include <functional>
#include <memory>

class QLCDNumber;
class ScoreEntry;
class QLineEdit;
class QMessageBox;
class Ui_velora;
struct ClassAnalysis;
struct ExamStore;
struct LoadNotice;
struct LoadOptions;
struct LoadReport;

class velora : public QMainWindow {
    Q_OBJECT

public:
    explicit velora(QWidget *parent = nullptr);
    // A window over another store than the process-wide one (tests give each case its own).
    explicit velora(ExamStore &store, QWidget *parent = nullptr);
    ~velora() override;

    // Where the mark library is kept; by default the per-user data folder.
    // Tests give their own.
    void keep_library_in(const QString &folder);

protected:
    // Asks first when closing would lose marks that no exported workbook holds.
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_problemfile_button_clicked();
    void on_ansfile_button_clicked();
    void on_stufile_button_clicked();
    void on_save_clicked();
    void on_last_clicked();
    void on_next_clicked();
    void on_tongji_button_clicked();
    void on_choose_problem_file_clicked();
    void on_choose_answer_file_clicked();
    void on_choose_student_file_clicked();
    void on_pushButton_clicked();
    void on_print_button_clicked();

private:
    void start_marking();
    void store_current_mark();
    void show_current_item();
    void clear_marking_view();
    bool cursor_ready();
    // Stores the mark on screen and moves by `step`; where it cannot, says `nowhere_to_go` if given.
    void store_and_step(bool (*step)(ExamStore &, MarkingOrder), const QString &nowhere_to_go = QString());
    // Stores the mark on screen and goes to the next answer with no mark.
    void to_next_unmarked();
    void show_marked_count();
    // The order chosen on the marking tab, remembered for the next start.
    void change_order(int index);
    void store_mark_on_screen(bool even_unchanged = false);
    // Options of a load: whether it may begin another exam is asked first,
    // `again` repeating it once the teacher agreed; the mark on screen is
    // stored just before the store changes.
    LoadOptions load_options(std::function<void()> again);
    bool accept_exam(const ExamIdentity &next, const std::function<void()> &again);
    MarkLibrary &open_library();
    // After a committed load: the exam's marks from the library, its table and recovery.
    void begin_next_exam();
    // The store's marks as the library holds them, or as the last export holds them.
    void apply_marks(const ExamMarks &marks, bool as_exported);
    // The first written answer with no mark, else the one marked last.
    void place_cursor(const ExamMarks &marks);
    void offer_recovery(const ExamMarks &marks);
    void record_mark();
    // Tells once that marks are kept only until velora ends.
    void tell_library_trouble(const LibraryError &e);
    enum class Answer { unasked, same, other };
    // Asks whether a load is of the same exam (the mended paper, or marks of
    // velora 1.0.0); `again` repeats the load with the answer in `slot`.
    void ask_same_exam(const QString &title, const QString &text, Answer &slot, const std::function<void()> &again);
    // Tells a refused load in a message box; whether the load went through.
    bool accepted(const LoadReport &report, const QString &failure_title);
    void refresh_marking_view();
    void show_warning(const QString &title, const QString &text, const QStringList &details = {});
    void show_notices(const QString &title, const QVector<LoadNotice> &notices);
    void show_roster_report(const QStringList &notices, const QStringList &gaps);
    void choose_input_file(QLineEdit *field, const QString &caption);
    // Focus in 评分, its text selected, whenever the marking tab shows an item.
    void focus_score();
    // Tells beside 评分 that a keystroke was refused and what the item's maximum is.
    void tell_refused(const QString &typed);
    // Whether a press must store nothing and stay, the field not saying what was typed.
    bool score_refused();
    // Export after the check that the table on screen holds every mark given.
    void export_checked(const QString &path);
    // Asks first where a spreadsheet seems to have the workbook open, unless told to go on despite it.
    void export_table(const QString &path, bool despite_locks = false);
    // The loads behind the buttons; whether the load went through.
    bool load_answers();
    bool load_roster();
    // Refuses, saying why, an answer or roster load before any problem file.
    bool problem_loaded();
    // After a problem load with other counts: the answer file and roster read again.
    void reread_for_new_counts();
    void ensure_field(QLineEdit *field, const char *stored);
    void focus_after_load(QLineEdit *next);
    // A non-blocking question whose Enter and Escape choose 取消; `on_go` runs for the other button.
    QMessageBox *ask(const QString &title, const QString &text, const QString &go, std::function<void()> on_go);
    // The same with the safe button (Enter, Escape) named and acting too.
    QMessageBox *ask(const QString &title, const QString &text, const QString &safe, std::function<void()> on_safe,
                     const QString &other, std::function<void()> on_other);
    MarkSnapshot marks_now() const;
    bool marks_would_be_lost() const;
    void ask_before_closing();

    Ui_velora *ui;
    ExamStore &st;
    std::unique_ptr<ClassAnalysis> analysis;  // none before the first "统计分数" press
    MarkSnapshot table_marks;                 // what the score table on screen was built from
    MarkSnapshot exported_marks;              // what the table last exported was built from
    ScoreEntry *score_entry;  // owned by the score field
    QPointer<QMessageBox> close_prompt;
    bool close_confirmed = false;
    QString library_folder;
    std::unique_ptr<MarkLibrary> library;  // opened with the first exam that has items
    // Set while a load runs that the library has placed: the exam it gives.
    struct PendingExam {
        ExamMatch match;
        bool switching = false;  // another exam than the one open
        LegacyJournal legacy;    // a 1.0.0 journal of it
        bool import_legacy = false;
    };
    std::unique_ptr<PendingExam> pending;
    // The teacher's answers while one press's load asks its questions.
    int retrying = 0;
    Answer mended_answer = Answer::unasked;
    Answer legacy_answer = Answer::unasked;
    bool carry_on = false;  // the teacher agreed to leave unexported marks for another exam
    QPointer<QMessageBox> recovery_box;
    bool library_trouble_told = false;
    MarkingOrder order = MarkingOrder::by_student;
    bool rereading = false;  // the answers and roster read again after a problem load
    int kept_stu = 0;  // the cursor just before a load commits
    int kept_pro = 0;
    QPair<QByteArray, int> kept_student;  // whose answer that was
    static QPair<QByteArray, int> student_key(const ExamStore &st, int s);
};

// Start-up after construction: show the window, then give it its final title.
void show_main_window(velora &window);
