#pragma once

#include <QWidget>

namespace BrindlecastApp {

class WrappedText;

// The desktop's "reopen the app" prompt: its message (at most two lines, cut at the end beyond
// that) and its two buttons, "Later" and "Quit & Reopen" in the theme's accent. Only a picture:
// it takes no clicks.
class RelaunchIllustration : public QWidget {
    Q_OBJECT
public:
    explicit RelaunchIllustration(QWidget* parent = nullptr);

    static const QString& message();
    WrappedText* messageText() const { return message_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    WrappedText* message_;
};

} // namespace BrindlecastApp
