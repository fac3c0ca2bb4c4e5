#include "BrindlecastApp/Shell/EditMenu.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

// A canvas-like widget that takes the editing commands as slots.
class Canvas : public QWidget {
    Q_OBJECT
public:
    Canvas() { setFocusPolicy(Qt::StrongFocus); }
    QStringList received;
public slots:
    void undo() { received << "undo"; }
    void redo() { received << "redo"; }
    void cut() { received << "cut"; }
    void copy() { received << "copy"; }
    void paste() { received << "paste"; }
    void selectAll() { received << "selectAll"; }
};

} // namespace

// The shortcuts reach the focused widget, or a parent of it that takes them, in a window shown
// after the menu was installed.
TEST(EditMenu, ShortcutsReachTheFocusedWidgetInEveryWindow) {
    EditMenu edit;
    QWidget window;
    auto* canvas = new Canvas;
    auto* child = new QWidget(canvas);
    child->setFocusPolicy(Qt::StrongFocus);
    auto* field = new QLineEdit("some text");
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(canvas);
    layout->addWidget(field);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    canvas->setFocus();
    // Every key the desktop has for a command: Ctrl+Z, Ctrl+Shift+Z (and Ctrl+Y where the desktop
    // redoes with it), Ctrl+X and Shift+Delete, and so on.
    const std::pair<QKeySequence::StandardKey, const char*> commands[] = {
        {QKeySequence::Undo, "undo"}, {QKeySequence::Redo, "redo"},   {QKeySequence::Cut, "cut"},
        {QKeySequence::Copy, "copy"}, {QKeySequence::Paste, "paste"}, {QKeySequence::SelectAll, "selectAll"},
    };
    QStringList expected;
    for (const auto& [command, slot] : commands) {
        const QList<QKeySequence> keys = QKeySequence::keyBindings(command);
        EXPECT_FALSE(keys.isEmpty()) << slot;
        for (const QKeySequence& key : keys) {
            QTest::keySequence(&window, key);
            expected << slot;
            EXPECT_EQ(canvas->received.size(), expected.size()) << key.toString().toStdString();
        }
    }
    EXPECT_EQ(canvas->received, expected);
    EXPECT_TRUE(QKeySequence::keyBindings(QKeySequence::Redo).contains(QKeySequence("Ctrl+Shift+Z")));

    child->setFocus();
    QTest::keySequence(&window, QKeySequence("Ctrl+C"));
    EXPECT_EQ(canvas->received.last(), "copy");
    EXPECT_EQ(canvas->received.size(), expected.size() + 1);

    // A text field keeps its own handling of the same keys.
    field->setFocus();
    QTest::keySequence(field, QKeySequence("Ctrl+A"));
    EXPECT_EQ(field->selectedText(), "some text");
    EXPECT_EQ(canvas->received.size(), expected.size() + 1);
}

#include "EditMenuTests.moc"
