#pragma once

#include "BrindlecastApp/Settings/MiniSegmented.h"
#include "BrindlecastApp/Settings/PatternDraft.h"

#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;

namespace BrindlecastApp {

class GlassButton;

// The row in which a new custom pattern is typed: a Name field, an ICU expression field, a
// Suggested / Required choice, "Invalid expression" while the expression does not compile, and
// Cancel / Add. Return in the expression field asks to add, Escape anywhere in the row to
// cancel; Add is disabled (and dimmed) while the owner's check refuses the draft.
class PatternDraftRow : public QWidget {
    Q_OBJECT
public:
    // `isValid` is asked on every change of the draft.
    explicit PatternDraftRow(std::function<bool(const PatternDraft&)> isValid, QWidget* parent = nullptr);

    const PatternDraft& draft() const { return draft_; }
    // Empty name and expression, Suggested.
    void reset();
    // Gives the Name field the keyboard focus.
    void focusName();

    // Whether the expression is not empty and does not compile.
    static bool isInvalidExpression(const QString& regex);

    QLineEdit* nameField() const { return name_; }
    QLineEdit* expressionField() const { return expression_; }
    QLabel* invalidLabel() const { return invalid_; }
    GlassButton* cancelButton() const { return cancel_; }
    GlassButton* addButton() const { return add_; }
    MiniSegmented<bool>* choice() const { return choice_; }

    // Re-checks the draft against the owner's lists (they may have changed).
    void revalidate();

signals:
    void commitRequested();
    void cancelRequested();

private:
    void setMandatory(bool mandatory);

    std::function<bool(const PatternDraft&)> isValid_;
    PatternDraft draft_;
    QLineEdit* name_;
    QLineEdit* expression_;
    MiniSegmented<bool>* choice_;
    QLabel* invalid_;
    GlassButton* cancel_;
    GlassButton* add_;
};

} // namespace BrindlecastApp
