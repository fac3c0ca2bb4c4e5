// The flat buttons' fills, read back from the pixels of the grabbed button in both schemes.
#include "../ThemedWindow.h"

#include "BrindlecastApp/Editor/FlatButton.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/Tokens.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetricsF>

#include <gtest/gtest.h>

#include <cmath>

using namespace BrindlecastApp;

namespace {

enum class State { rest, hover, pressed };

const char* name(State state) { return state == State::rest ? "rest" : state == State::hover ? "hover" : "pressed"; }

void putInto(QAbstractButton& button, State state) {
    if (state != State::rest) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(&button, &enter);
    }
    button.setDown(state == State::pressed);
}

// The fill colour as drawn at a point of the button's left side, clear of its icon and text.
QColor sampledFill(QWidget& button) {
    const QImage image = renderAlone(button).convertToFormat(QImage::Format_ARGB32);
    return image.pixelColor(5, button.height() / 2);
}

// Equal within the rounding of 8-bit premultiplied pixels.
::testing::AssertionResult sameColour(const QColor& drawn, const QColor& expected) {
    if (expected.alpha() == 0 && drawn.alpha() == 0) return ::testing::AssertionSuccess();
    const int tolerance = expected.alpha() < 64 ? 12 : 3; // a faint fill keeps few bits of colour
    const bool close = std::abs(drawn.alpha() - expected.alpha()) <= 2 && std::abs(drawn.red() - expected.red()) <= tolerance &&
                       std::abs(drawn.green() - expected.green()) <= tolerance &&
                       std::abs(drawn.blue() - expected.blue()) <= tolerance;
    if (close) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "drawn " << drawn.name(QColor::HexArgb).toStdString() << ", expected "
                                         << expected.name(QColor::HexArgb).toStdString();
}

IconPainter anIcon() { return IconPainter::glyph(Icon::Glyph::cursor, 19); }

} // namespace

TEST(FlatButtons, FillsInEachStateAndSchemeAreTheTokens) {
    for (const bool dark : {false, true}) {
        ThemedWindow themed(dark ? ThemeMode::dark : ThemeMode::light);
        const Tokens t = themed.theme.tokens();
        const QColor accent = t.accent;
        const QColor tint = dark ? Design::white(0.16) : Design::black(0.10);
        const QColor faint = dark ? Design::white(0.09) : Design::black(0.05);
        const QColor clear(Qt::transparent);
        struct Case {
            const char* button;
            State state;
            QColor fill;
        };
        const Case cases[] = {
            {"tool", State::rest, clear},
            {"tool", State::hover, tint},
            {"tool", State::pressed, tint},
            {"active tool", State::rest, accent},
            {"active tool", State::hover, accent},
            {"active tool", State::pressed, Design::withOpacity(accent, 0.85)},
            {"plain", State::rest, faint},
            {"plain", State::hover, tint},
            {"plain", State::pressed, tint},
            {"prominent", State::rest, accent},
            {"prominent", State::hover, Design::withOpacity(accent, 0.9)},
            {"prominent", State::pressed, Design::withOpacity(accent, 0.8)},
        };
        for (const Case& c : cases) {
            const QString kind = c.button;
            std::unique_ptr<QAbstractButton> button;
            if (kind.endsWith("tool"))
                button = std::make_unique<FlatToolButton>(kind == "active tool", false, nullptr, anIcon(), &themed.window);
            else
                button = std::make_unique<FlatButton>("Copy", "doc.on.doc", kind == "prominent", std::nullopt, nullptr,
                                                      &themed.window);
            button->resize(button->sizeHint());
            putInto(*button, c.state);
            EXPECT_TRUE(sameColour(sampledFill(*button), c.fill))
                << c.button << " " << name(c.state) << (dark ? " dark" : " light");
        }
    }
}

TEST(FlatButtons, ForegroundIsWhiteOnTheAccentAndThePrimaryTextElsewhere) {
    for (const bool dark : {false, true}) {
        ThemedWindow themed(dark ? ThemeMode::dark : ThemeMode::light);
        const QColor primary = themed.theme.tokens().primaryText();
        EXPECT_EQ(FlatToolButton(true, false, nullptr, anIcon(), &themed.window).foreground(), QColor(Qt::white));
        EXPECT_EQ(FlatToolButton(false, false, nullptr, anIcon(), &themed.window).foreground(), primary);
        EXPECT_EQ(FlatButton("Done", "checkmark", true, std::nullopt, nullptr, &themed.window).foreground(), QColor(Qt::white));
        EXPECT_EQ(FlatButton("Copy", "doc.on.doc", false, std::nullopt, nullptr, &themed.window).foreground(), primary);

        // The active icon is drawn in white on the accent.
        FlatToolButton active(true, false, nullptr, anIcon(), &themed.window);
        const QImage image = renderAlone(active).convertToFormat(QImage::Format_ARGB32);
        int white = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                white += c.red() > 245 && c.green() > 245 && c.blue() > 245;
            }
        EXPECT_GT(white, 20);
    }
}

TEST(FlatButtons, TheSubmenuChevronSitsFourPointsInFromTheBottomTrailingCorner) {
    ThemedWindow themed;
    FlatToolButton plain(false, false, nullptr, anIcon(), &themed.window);
    FlatToolButton submenu(false, true, nullptr, anIcon(), &themed.window);
    EXPECT_EQ(plain.size(), QSize(36, 34));
    EXPECT_TRUE(plain.chevronBox().isNull());
    const QRectF chevron = submenu.chevronBox();
    EXPECT_DOUBLE_EQ(chevron.right(), 32);
    EXPECT_DOUBLE_EQ(chevron.bottom(), 30);
    // Something is drawn there, and nothing in the same spot without the chevron.
    const auto inked = [&](FlatToolButton& button) {
        const QImage image = renderAlone(button);
        int count = 0;
        for (int y = int(chevron.top()); y < int(chevron.bottom()); ++y)
            for (int x = int(chevron.left()); x < int(chevron.right()); ++x) count += qAlpha(image.pixel(x, y)) > 0;
        return count;
    };
    EXPECT_GT(inked(submenu), 0);
    EXPECT_EQ(inked(plain), 0);
}

TEST(FlatButtons, SidePaddingFollowsTitleAndProminence) {
    ThemedWindow themed;
    struct Case {
        std::optional<QString> title;
        bool prominent;
        double padding;
    };
    const Case cases[] = {
        {"Done", true, 15}, {"Copy", false, 12}, {std::nullopt, true, 10}, {std::nullopt, false, 10}};
    for (const Case& c : cases) {
        FlatButton button(c.title, "checkmark", c.prominent, std::nullopt, nullptr, &themed.window);
        EXPECT_EQ(button.sidePadding(), c.padding) << c.title.value_or("icon only").toStdString();
        double content = Symbols::sideForPointSize(13); // the symbol beside 13-point text
        if (c.title) content += 6 + QFontMetricsF(button.titleFont()).horizontalAdvance(*c.title);
        EXPECT_EQ(button.sizeHint(), QSize(int(std::ceil(content + 2 * c.padding)), 34));
    }
    EXPECT_EQ(FlatButton("Done", "checkmark", true, std::nullopt, nullptr).titleFont().weight(), QFont::DemiBold);
    EXPECT_EQ(FlatButton("Copy", "checkmark", false, std::nullopt, nullptr).titleFont().weight(), QFont::Medium);

    // A fixed width holds through a change of label.
    FlatButton copy("Copy", "doc.on.doc", false, 104, nullptr, &themed.window);
    EXPECT_EQ(copy.sizeHint().width(), 104);
    copy.setLabel("Copied!", "checkmark");
    EXPECT_EQ(copy.sizeHint().width(), 104);
}

TEST(FlatButtons, LeavingClearsTheHoverAndAClickRunsTheAction) {
    ThemedWindow themed;
    int runs = 0;
    FlatToolButton button(false, false, [&] { ++runs; }, anIcon(), &themed.window);
    putInto(button, State::hover);
    EXPECT_TRUE(button.isHovering());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_FALSE(button.isHovering());
    EXPECT_EQ(button.fill().rest, QColor(Qt::transparent));
    EXPECT_EQ(button.fill().radius, 10) << "the button token radius";
    button.click();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(button.focusPolicy(), Qt::NoFocus);
}
