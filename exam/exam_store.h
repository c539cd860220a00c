// The exam store: every count, text, answer, score, the marking cursor and the
// loaded paths, in fixed-capacity tables. One instance lives in zero-initialised
// static storage for the whole run; pages are only made resident when written.
//
// The store's fields (and the form's objectNames) keep their pinyin names;
// velora's own types say choice / written / question / student instead.
//   xuan     选 (xuǎn): a choice question; stu_xuan holds a student's choice answers
//   unxuan   not xuan: a written question, answered in text and marked by hand
//   pro      problem: a question of either kind (pro_score, pro_text, pro_path)
//   ans      answer: the answer file's key and standard answers
//   stu      student: the roster and each student's answer sheet
//   cur      cursor: the item being marked (cur_stu, cur_pro)
//   tongji   统计 (tǒngjì), statistics: tongji_done says the score table was built
//   jindu    进度 (jìndù), progress: the form's marking progress bar
//   pin_fen  the form's score input, the mark given to the item on screen
//   marked   a written answer whose mark was given (stored), told apart from one never marked, even at 0
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

namespace limits {
constexpr int students = 1000;
constexpr int questions = 200;  // choice + written
constexpr int choice = 100;
constexpr int written = 100;
constexpr int text_bytes = 10000;  // per question text, standard or student answer
constexpr int name_bytes = 100;    // per student name and for the key
constexpr int path_bytes = 1000;
}  // namespace limits

// Tables indexed from 1 keep row 0 unused, as the index conventions say:
// question index p = 1 .. xuan_count + unxuan_count (choice questions first, so
// written question q is at xuan_count + q); written-question number q;
// student number s; choice position k (byte k answers choice question k + 1).
struct ExamStore {
    int32_t xuan_count;
    int32_t unxuan_count;
    int32_t stu_count;

    double pro_score[limits::questions + 1];
    char pro_text[limits::questions + 1][limits::text_bytes + 1];
    int32_t pro_len[limits::questions + 1];

    char ans_key[limits::name_bytes + 1];
    char ans_text[limits::written + 1][limits::text_bytes + 1];
    int32_t ans_len[limits::written + 1];

    char stu_name[limits::students + 1][limits::name_bytes + 1];
    char stu_xuan[limits::students + 1][limits::choice + 1];
    char stu_text[limits::students + 1][limits::written + 1][limits::text_bytes + 1];
    int32_t stu_len[limits::students + 1][limits::written + 1];
    double stu_score[limits::students + 1][limits::questions + 1];
    double stu_total[limits::students + 1];
    bool stu_marked[limits::students + 1][limits::written + 1];

    int32_t cur_stu;
    int32_t cur_pro;
    int32_t mark_steps;

    char pro_path[limits::path_bytes + 1];
    char ans_path[limits::path_bytes + 1];
    char stu_path[limits::path_bytes + 1];

    bool tongji_done;
};

// Trivial so that the process-wide instance needs no constructor run and stays
// in untouched .bss pages until a load writes them.
static_assert(std::is_trivial_v<ExamStore>, "ExamStore must stay trivial");
static_assert(std::is_standard_layout_v<ExamStore>, "ExamStore must stay plain");

// The one store of the running program.
extern ExamStore exam_store;

// A separate zero-filled store on lazily mapped pages, for tests, benchmarks
// and fuzzers that must not disturb the program's own.
struct ExamStoreDeleter {
    void operator()(ExamStore *s) const;
};
using ExamStorePtr = std::unique_ptr<ExamStore, ExamStoreDeleter>;
ExamStorePtr make_blank_store();
