// The main window: the form, the twelve button slots and the marking display.
//
// How a click travels: setupUi() binds every on_<objectName>_clicked slot to its
// button by name. A slot reads its field, calls one GUI-free function of exam/,
// marking/ or export/ on the exam store (the process-wide exam_store unless the
// window was given another), and shows the result in the form (LCD numbers,
// texts, spin box, table) or, when the function returns an error value, its
// message in a non-blocking message box (one per press: notices of a
// successful load go into one box, before any list of sheets). The store is
// the only state; the window keeps none of its own. A problem or answer load
// stores the mark on screen just before it writes the store and then shows the
// item the cursor names, so the marking tab is never stale.
#pragma once

#include <QMainWindow>
#include <QVector>

class QLCDNumber;
class QLineEdit;
class Ui_velora;
struct ExamStore;
struct LoadNotice;

class velora : public QMainWindow
{
    Q_OBJECT

public:
    explicit velora(QWidget *parent = nullptr);
    // A window over another store than the process-wide one (tests give each case its own).
    explicit velora(ExamStore &store, QWidget *parent = nullptr);
    ~velora() override;

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
    void store_mark_on_screen();
    void refresh_marking_view();
    void show_warning(const QString &title, const QString &text, const QStringList &details = {});
    void show_notices(const QString &title, const QVector<LoadNotice> &notices);
    void show_roster_report(const QStringList &notices, const QStringList &gaps);
    void choose_input_file(QLineEdit *field, const QString &caption);

    Ui_velora *ui;
    ExamStore &st;
};

// Start-up after construction: show the window, then give it its final title.
void show_main_window(velora &window);
