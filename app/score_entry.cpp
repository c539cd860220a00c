// Keyboard marking in the score field.
#include "app/score_entry.h"

#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QValidator>

ScoreEntry::ScoreEntry(QDoubleSpinBox *box) : QObject(box), box_(box), edit_(box->findChild<QLineEdit *>())
{
    // Keys reach the box (the line edit's focus proxy), which hands them to
    // the line edit without an event filter seeing them there; a click into
    // the text reaches the line edit, a click on the arrows the box.
    box_->installEventFilter(this);
    edit_->installEventFilter(this);
}

void ScoreEntry::reset()
{
    refused_ = false;
    retyping_ = false;
}

void ScoreEntry::hold()
{
    retyping_ = true;
    edit_->selectAll();
}

void ScoreEntry::take_focus()
{
    box_->setFocus(Qt::OtherFocusReason);
    edit_->selectAll();
}

bool ScoreEntry::typed_key(const QString &text)
{
    // What the line edit would hold after the key, checked by the box's own validator.
    QString next = edit_->text();
    int at = edit_->cursorPosition();
    const bool whole = next.isEmpty() || edit_->selectedText() == next;
    if (edit_->hasSelectedText()) {
        at = edit_->selectionStart();
        next.remove(at, edit_->selectedText().size());
    }
    next.insert(at, text);
    int pos = at + text.size();
    QString checked = next;
    if (edit_->validator() && edit_->validator()->validate(checked, pos) == QValidator::Invalid) {
        refused_ = true;
        retyping_ = false;
        refused_text_ = next;
        if (on_refused)
            on_refused(next);
        return true;  // refused by the field as well; nothing to pass on
    }
    if (refused_ && retyping_ && whole)
        reset();
    return false;
}

bool ScoreEntry::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edit_) {
        if (event->type() == QEvent::MouseButtonPress && refused_)
            retyping_ = true;  // clicked into the field to mend it
        return false;
    }
    // The arrows and the wheel set a whole value the teacher sees.
    if (event->type() == QEvent::Wheel || event->type() == QEvent::MouseButtonPress) {
        reset();
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (mods == Qt::NoModifier && on_enter) {
            box_->interpretText();  // the value is what the field shows
            on_enter();
            return true;
        }
        if (mods == Qt::ShiftModifier && on_shift_enter) {
            box_->interpretText();
            on_shift_enter();
            return true;
        }
        if (mods == Qt::ControlModifier && on_ctrl_enter) {
            box_->interpretText();
            on_ctrl_enter();
            return true;
        }
        return false;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        reset();
        return false;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (refused_)
            retyping_ = true;
        return false;
    default:
        break;
    }
    if (key->matches(QKeySequence::SelectAll)) {
        if (refused_)
            retyping_ = true;
        return false;
    }
    const QString text = key->text();
    if (text.isEmpty() || !text.at(0).isPrint() || (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    return typed_key(text);
}
