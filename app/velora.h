// The main window: the form, the twelve button slots and the marking display.
//
// How a click travels: setupUi() binds every on_<objectName>_clicked slot to its
// button by name. A slot reads its field, calls one GUI-free function of exam/,
// marking/ or export/ on the exam store (the process-wide exam_store unless the
// window was given another), and shows the result in the form (LCD numbers,
// texts, spin box, table) or, when the function returns an error value, its
// message in a non-blocking message box. The store is the only state; the
// window keeps none of its own.
#pragma once

#include <QMainWindow>

class QLCDNumber;
class Ui_velora;
struct ExamStore;

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
    void show_warning(const QString &title, const QString &text, const QStringList &details = {});
    void show_sheet_gaps(const QStringList &lines);

    Ui_velora *ui;
    ExamStore &st;
};

// Start-up after construction: show the window, then give it its final title.
void show_main_window(velora &window);
