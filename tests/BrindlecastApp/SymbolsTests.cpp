#include "BrindlecastApp/Design/Symbols.h"

#include "Support/Log.h"

#include <QDir>
#include <QPainter>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

using namespace BrindlecastApp;

namespace {

// Every symbol name the interface shows.
const QStringList interfaceSymbols{
    "arrow.up.right", "line.diagonal", "circle", "1.circle", "highlighter", "gearshape", "gearshape.fill",
    "ellipsis", "chevron.down", "chevron.right", "doc.on.doc", "doc.on.clipboard", "checkmark",
    "checkmark.circle.fill", "folder", "square.and.arrow.up", "square.and.arrow.down",
    "square.2.layers.3d.bottom.filled", "trash", "sparkles", "lineweight", "circle.circle",
    "square.fill.on.square", "minus", "plus", "text.alignleft", "text.aligncenter", "text.alignright", "crop",
    "lock.fill", "lock.shield", "lock.shield.fill", "eye.fill", "eye.slash.fill", "xmark", "xmark.circle.fill",
    "plus.circle", "exclamationmark.triangle.fill", "exclamationmark.shield.fill", "checkmark.shield",
    "hand.raised.fill", "camera.fill", "rectangle.inset.filled.badge.record", "rectangle.dashed", "square.dashed",
    "circle.dotted", "macwindow.on.rectangle", "square.and.pencil", "macwindow", "cursorarrow", "rectangle",
    "textformat", "paintpalette"};

int inked(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += qAlpha(image.pixel(x, y)) > 0;
    return count;
}

class RecordingSink : public Support::LogSink {
public:
    void write(const Support::LogEntry& entry) override {
        std::lock_guard lock(mutex);
        messages << entry.message;
    }
    std::mutex mutex;
    QStringList messages;
};

} // namespace

// Each symbol is also put on a contact sheet, eight to a row at 32 pixels, kept for a person to look at.
TEST(Symbols, EveryInterfaceSymbolDrawsAVisibleShape) {
    const int cell = 44, columns = 8;
    QImage sheet(columns * cell, int((interfaceSymbols.size() + columns - 1) / columns) * cell,
                 QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    for (int i = 0; i < interfaceSymbols.size(); ++i) {
        const QString& name = interfaceSymbols[i];
        EXPECT_TRUE(Symbols::isKnown(name)) << name.toStdString();
        for (int side : {16, 40}) {
            const int count = inked(Symbols::image(name, side, Qt::black));
            EXPECT_GT(count, side * side / 25) << name.toStdString() << " at " << side;
            EXPECT_LT(count, side * side) << name.toStdString() << " at " << side;
        }
        Symbols::paint(painter, name, QRectF((i % columns) * cell + 6, (i / columns) * cell + 6, 32, 32), Qt::black);
    }
    painter.end();
    const QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (!folder.isEmpty() && QDir().mkpath(folder)) {
        EXPECT_TRUE(sheet.save(folder + "/symbols.png", "PNG"));
    }
}

TEST(Symbols, HeavierWeightsUseMoreInk) {
    const int regular = inked(Symbols::image("xmark", 48, Qt::black, SymbolWeight::regular));
    const int bold = inked(Symbols::image("xmark", 48, Qt::black, SymbolWeight::bold));
    EXPECT_GT(bold, regular);
}

TEST(Symbols, PathIsCentredAndScaledInItsBox) {
    const auto small = Symbols::path("circle", QRectF(0, 0, 24, 24));
    const auto wide = Symbols::path("circle", QRectF(0, 0, 96, 48));
    ASSERT_TRUE(small && wide);
    EXPECT_NEAR(wide->boundingRect().width(), small->boundingRect().width() * 2, 0.1);
    EXPECT_NEAR(wide->boundingRect().center().x(), 48, 0.1);
    EXPECT_NEAR(wide->boundingRect().center().y(), 24, 0.1);
}

TEST(Symbols, CutOutsLeaveHoles) {
    // The tick inside the filled disc is cut out, so the disc's centre line is not solid.
    const QImage image = Symbols::image("checkmark.circle.fill", 48, Qt::black);
    const QPoint onTheTick(18, 28); // halfway along its first stroke, (7.5, 12.5) to (10.8, 15.8) doubled
    EXPECT_EQ(qAlpha(image.pixel(onTheTick)), 0);
    EXPECT_EQ(qAlpha(image.pixel(10, 24)), 255);
}

TEST(Symbols, UnknownNameDrawsAPlaceholderAndIsLoggedOnce) {
    auto sink = std::make_shared<RecordingSink>();
    const auto previous = Support::Log::sink();
    Support::Log::setSink(sink);
    EXPECT_FALSE(Symbols::isKnown("no.such.symbol"));
    EXPECT_FALSE(Symbols::path("no.such.symbol", QRectF(0, 0, 24, 24)));
    const QImage first = Symbols::image("no.such.symbol", 32, Qt::black);
    const QImage second = Symbols::image("no.such.symbol", 32, Qt::black);
    Support::Log::setSink(previous);
    EXPECT_GT(inked(first), 20);
    EXPECT_EQ(first, second);
    ASSERT_EQ(sink->messages.size(), 1);
    EXPECT_TRUE(sink->messages.first().contains("no.such.symbol"));
}
