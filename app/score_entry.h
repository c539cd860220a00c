// The score field at the keyboard: Enter and Shift+Enter press 下一题 and
// 上一题, and a keystroke the field refuses (a value above the item's maximum,
// a minus sign, a third decimal) is remembered. Without that, typing "7.5" on
// a 6-point item leaves ".5" in the field, and a press would store a mark the
// teacher never typed.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QDoubleSpinBox;
class QLineEdit;

class ScoreEntry : public QObject {
public:
    explicit ScoreEntry(QDoubleSpinBox *box);

    std::function<void()> on_enter;        // Return or the keypad's Enter
    std::function<void()> on_shift_enter;  // the same with Shift
    std::function<void()> on_ctrl_enter;   // the same with Ctrl
    // A keystroke was refused; `typed` is the text it would have made.
    std::function<void(const QString &typed)> on_refused;

    // Whether the field's text is no longer what the teacher typed.
    bool refused() const { return refused_; }
    // The text the refused keystroke would have made.
    const QString &refused_text() const { return refused_text_; }
    // The field shows a value of velora's own (an item shown): nothing refused.
    void reset();
    // A press met a refused field: the whole text selected for retyping, which
    // then clears the refusal.
    void hold();
    // Focus in the field, its whole text selected, so typing replaces it.
    void take_focus();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool typed_key(const QString &text);

    QDoubleSpinBox *box_;
    QLineEdit *edit_;
    bool refused_ = false;
    QString refused_text_;
    bool retyping_ = false;  // the teacher took note of the refusal: the next whole value counts
};
