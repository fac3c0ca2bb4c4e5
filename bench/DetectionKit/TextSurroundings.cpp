#include "TextSurroundings.h"

#include "BenchDrawing.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <functional>

namespace DetectionBench {

QRect InkedItem::inkBounds() const {
    QRect r;
    for (const QPoint& p : ink) r |= QRect(p, QSize(1, 1));
    return r;
}

double inkCoverage(const InkedItem& item, const std::vector<QRectF>& boxes) {
    if (item.ink.empty()) return 0;
    size_t inside = 0;
    for (const QPoint& p : item.ink)
        if (std::any_of(boxes.begin(), boxes.end(), [&](const QRectF& b) { return b.contains(QRectF(p, QSizeF(1, 1))); }))
            ++inside;
    return double(inside) / double(item.ink.size());
}

namespace {

struct Sample {
    const char* detector;
    const char* text;
};

const Sample kEmails[] = {{"email", "jane.doe@example.com"}, {"email", "joe.jay@example.com"},
                          {"email", "m.rossi@corp.example.net"}, {"email", "lee_kim42@mail.example.org"}};
const Sample kPhones[] = {{"phone", "555-123-4567"}, {"phone", "(415) 555-0132"}, {"phone", "212.555.0187"}};
const Sample kSsns[] = {{"ssn", "123-45-6789"}, {"ssn", "078-05-1120"}, {"ssn", "234-56-7890"}};
const Sample kIps[] = {{"ipv4", "192.168.10.24"}, {"ipv4", "10.20.30.40"}, {"ipv4", "172.16.254.3"}};
const Sample kCards[] = {{"card", "4111 1111 1111 1111"}, {"card", "4012-8888-8888-1881"}};

template <size_t N>
const Sample& pick(const Sample (&list)[N], int i) {
    return list[size_t(i) % N];
}

// Draws sheets row by row and records each item's ink.
class Sheet {
public:
    Sheet(QString name, int w, int h, const QColor& background) : sheet_{std::move(name), blankImage(w, h, background), {}} {
        painter_.begin(&sheet_.image);
        painter_.setRenderHint(QPainter::Antialiasing);
        painter_.setRenderHint(QPainter::TextAntialiasing);
    }

    QPainter& painter() { return painter_; }

    // Plain text with its top-left at (x, y); returns its advance.
    int text(const QFont& f, const QColor& c, int x, int y, const QString& s) {
        painter_.setFont(f);
        painter_.setPen(c);
        painter_.drawText(QPoint(x, y + QFontMetrics(f).ascent()), s);
        return QFontMetrics(f).horizontalAdvance(s);
    }

    // An item with its top-left at (x, y): drawn, and traced alone for its ink. `before` and
    // `after` are characters the caller draws glued to it.
    int item(const QFont& f, const QColor& c, int x, int y, const Sample& sample, const QString& surroundings,
             const QString& before = {}, const QString& after = {}) {
        const QString s = QString::fromLatin1(sample.text);
        const QFontMetrics m(f);
        const QPoint baseline(x, y + m.ascent());
        painter_.setFont(f);
        painter_.setPen(c);
        painter_.drawText(baseline, s);

        InkedItem inked{QString::fromLatin1(sample.detector), s,
                        surroundings + QStringLiteral(" %1 %2px").arg(f.family()).arg(f.pixelSize()), trace(f, baseline, s), {}};
        const std::vector<QPoint> run = trace(f, baseline - QPoint(m.horizontalAdvance(before), 0), before + s + after);
        for (const QPoint& p : run) inked.runBounds |= QRect(p, QSize(1, 1));
        sheet_.items.push_back(std::move(inked));
        return m.horizontalAdvance(s);
    }

    // The pixels `s` inks when drawn alone at `baseline`.
    std::vector<QPoint> trace(const QFont& f, QPoint baseline, const QString& s) const {
        const QRect area = QFontMetrics(f).boundingRect(s).translated(baseline).adjusted(-4, -4, 4, 4) & sheet_.image.rect();
        QImage alone = blankImage(area.width(), area.height(), Qt::transparent);
        QPainter p(&alone);
        p.setRenderHints(painter_.renderHints());
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(baseline - area.topLeft(), s);
        p.end();
        std::vector<QPoint> ink;
        for (int yy = 0; yy < alone.height(); ++yy)
            for (int xx = 0; xx < alone.width(); ++xx)
                if (qAlpha(alone.pixel(xx, yy)) > 0) ink.push_back(area.topLeft() + QPoint(xx, yy));
        return ink;
    }

    void fill(const QRectF& r, const QColor& c, double radius = 0) {
        QPainterPath path;
        path.addRoundedRect(r, radius, radius);
        painter_.fillPath(path, c);
    }

    SurroundingsSheet finish() {
        painter_.end();
        return std::move(sheet_);
    }

private:
    SurroundingsSheet sheet_;
    QPainter painter_;
};

const QString kSans[] = {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")};
const QString kMono[] = {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                         QStringLiteral("JetBrains Mono")};

// Find-in-page highlights hugging the item with 1 px to spare.
SurroundingsSheet highlights(int v) {
    Sheet s(QStringLiteral("highlight-%1").arg(v), 560, 8 * 34 + 20, Qt::white);
    const QColor fills[] = {QColor(255, 214, 10), QColor(255, 150, 50), QColor(255, 241, 118)};
    for (int i = 0; i < 8; ++i) {
        const QFont f = fontOf(kSans[(i + v) % 2], 13 + (i + v) % 4);
        const Sample& sample = i % 4 == 0 ? pick(kPhones, i + v) : i % 4 == 1 ? pick(kSsns, i + v)
                             : i % 4 == 2 ? pick(kCards, i + v) : pick(kEmails, i + v);
        const int y = 14 + i * 34;
        int x = 20 + s.text(f, QColor(32, 33, 36), 20, y, QStringLiteral("Match"));
        x += 8;
        const QFontMetrics m(f);
        const QRect tight = m.tightBoundingRect(QString::fromLatin1(sample.text)).translated(x, y + m.ascent());
        s.fill(QRectF(tight.adjusted(-1, -1, 1, 1)), fills[(i + v) % 3]);
        s.item(f, QColor(32, 33, 36), x, y, sample, QStringLiteral("highlight"));
    }
    return s.finish();
}

// Tags: white text on a coloured rounded fill.
SurroundingsSheet tags(int v) {
    Sheet s(QStringLiteral("tag-%1").arg(v), 420, 8 * 36 + 20, Qt::white);
    const QColor fills[] = {QColor(52, 199, 89), QColor(0, 122, 255), QColor(255, 59, 48), QColor(88, 86, 214)};
    for (int i = 0; i < 8; ++i) {
        const QFont f = fontOf(kSans[(i + v) % 2], 12 + (i + v) % 3);
        const Sample& sample = i % 3 == 0 ? pick(kSsns, i + v) : i % 3 == 1 ? pick(kIps, i + v) : pick(kPhones, i + v);
        const int y = 16 + i * 36;
        const int x = 20 + s.text(f, QColor(60, 64, 67), 20, y, QStringLiteral("Field")) + 10;
        const QFontMetrics m(f);
        const int w = m.horizontalAdvance(QString::fromLatin1(sample.text));
        s.fill(QRectF(x - 6, y - 3, w + 12, m.height() + 6), fills[(i + v) % 4], (m.height() + 6) / 2.0);
        s.item(f, Qt::white, x, y, sample, QStringLiteral("tag"));
    }
    return s.finish();
}

// Recipient chips in a "To:" field, and text in tall input fields.
SurroundingsSheet chipsAndFields(int v) {
    Sheet s(QStringLiteral("chip-field-%1").arg(v), 520, 8 * 44 + 20, Qt::white);
    for (int i = 0; i < 4; ++i) {
        const QFont f = fontOf(kSans[(i + v) % 2], 13 + (i + v) % 2);
        const Sample& sample = pick(kEmails, i + v);
        const int y = 18 + i * 44;
        const int x = 20 + s.text(f, QColor(95, 99, 104), 20, y, QStringLiteral("To:")) + 12;
        const QFontMetrics m(f);
        const int w = m.horizontalAdvance(QString::fromLatin1(sample.text));
        s.fill(QRectF(x - 10, y - 5, w + 20, m.height() + 10), QColor(232, 240, 254), (m.height() + 10) / 2.0);
        s.item(f, QColor(26, 115, 232), x, y, sample, QStringLiteral("chip"));
    }
    for (int i = 0; i < 4; ++i) {
        const int px = 10 + (i + v) % 3;
        const QFont f = fontOf(kSans[(i + v + 1) % 2], px);
        const Sample& sample = i % 2 ? pick(kIps, i + v) : pick(kEmails, i + v + 1);
        const int top = 4 * 44 + 14 + i * 44;
        QPainter& p = s.painter();
        p.setPen(QColor(218, 220, 224));
        p.setBrush(QColor(248, 249, 250));
        p.drawRoundedRect(QRectF(20.5, top + 0.5, 360, 36), 4, 4);
        s.item(f, QColor(32, 33, 36), 30, top + (36 - QFontMetrics(f).height()) / 2, sample, QStringLiteral("field"));
    }
    return s.finish();
}

// A round avatar or a small icon just left of the text.
SurroundingsSheet avatarsAndIcons(int v) {
    Sheet s(QStringLiteral("avatar-icon-%1").arg(v), 420, 10 * 48 + 20, Qt::white);
    for (int i = 0; i < 10; ++i) {
        const bool avatar = i < 6;
        const QFont f = fontOf(kSans[(i + v) % 2], 13 + (i + v) % 3);
        const Sample& sample = i % 3 == 0 ? pick(kEmails, i + v) : i % 3 == 1 ? pick(kPhones, i + v) : i % 3 == 2 && avatar ? pick(kIps, i + v) : pick(kSsns, i + v);
        const int rowTop = 10 + i * 48;
        const QFontMetrics m(f);
        if (avatar) {
            const int d = 28 + ((i + v) % 3) * 6;
            QPainterPath circle;
            circle.addEllipse(QRectF(20, rowTop + (40 - d) / 2.0, d, d));
            s.painter().fillPath(circle, QColor::fromHsv((i * 67 + v * 31) % 360, 150, 200));
            if (i % 2) s.text(fontOf(kSans[0], d / 2, true), Qt::white, 20 + d / 4, rowTop + (40 - d / 2) / 2 - 2, QStringLiteral("J"));
            s.item(f, QColor(32, 33, 36), 20 + d + 8, rowTop + (40 - m.height()) / 2, sample, QStringLiteral("avatar"));
        } else {
            const int icon = 14 + (i + v) % 3;
            const QRectF r(20, rowTop + (40 - icon) / 2.0, icon, icon);
            if (i % 2) {
                s.fill(r, QColor(60, 64, 67), 3);
            } else {
                s.painter().setPen(QPen(QColor(95, 99, 104), 1.5));
                s.painter().setBrush(Qt::NoBrush);
                s.painter().drawRect(r.adjusted(1, 2, -1, -2));
                s.painter().drawLine(r.topLeft() + QPointF(1, 2), r.center());
                s.painter().drawLine(r.topRight() + QPointF(-1, 2), r.center());
            }
            s.item(f, QColor(32, 33, 36), 20 + icon + 6, rowTop + (40 - m.height()) / 2, sample, QStringLiteral("icon"));
        }
    }
    return s.finish();
}

// A terminal in each monospaced family, light on near-black, and monospaced text on white.
SurroundingsSheet terminal(int v, const QString& family) {
    const int sizes[] = {11, 12, 13, 16};
    Sheet s(QStringLiteral("terminal-%1-%2").arg(QString(family).remove(' ')).arg(v), 640, 9 * 30 + 20, QColor(24, 24, 27));
    const char* const prefixes[] = {"notify: ", "ssn=", "phone ", "export DB_HOST=", "Author: Jane <", "card: "};
    for (int i = 0; i < 9; ++i) {
        const QFont f = fontOf(family, sizes[(i + v) % 4]);
        const int kind = (i + v) % 6;
        const Sample& sample = kind == 0 || kind == 4 ? pick(kEmails, i + v) : kind == 1 ? pick(kSsns, i + v)
                             : kind == 2 ? pick(kPhones, i + v) : kind == 3 ? pick(kIps, i + v) : pick(kCards, i + v);
        const int y = 10 + i * 30;
        int x = 16 + s.text(f, QColor(80, 220, 120), 16, y, QStringLiteral("$ "));
        const QString prefix = QString::fromLatin1(prefixes[kind]);
        const QString suffix = kind == 4 ? QStringLiteral(">") : QStringLiteral(";");
        x += s.text(f, QColor(220, 220, 220), x, y, prefix);
        x += s.item(f, QColor(220, 220, 220), x, y, sample, QStringLiteral("terminal"), prefix.section(' ', -1), suffix);
        s.text(f, QColor(220, 220, 220), x, y, suffix);
    }
    return s.finish();
}

SurroundingsSheet monoOnLight(int v) {
    Sheet s(QStringLiteral("mono-light-%1").arg(v), 760, 6 * 50 + 20, Qt::white);
    const int sizes[] = {10, 11, 12, 24, 28, 14};
    for (int i = 0; i < 6; ++i) {
        const QFont f = fontOf(kMono[(i + v) % 3], sizes[(i + v) % 6]);
        const Sample& sample = i % 2 ? pick(kSsns, i + v) : pick(kEmails, i + v);
        const int y = 12 + i * 50;
        const int x = 20 + s.text(f, QColor(32, 33, 36), 20, y, QStringLiteral("Value: "));
        const int w = s.item(f, QColor(32, 33, 36), x, y, sample, QStringLiteral("mono"));
        s.text(f, QColor(32, 33, 36), x + w, y, QStringLiteral(" ok"));
    }
    return s.finish();
}

// Small, faint and very large text.
SurroundingsSheet sizes(int v) {
    const int tall[] = {48, 96, 128, 160, 200};
    int height = 20 + 6 * 26;
    for (int t : tall) height += int(t * 1.3);
    Sheet s(QStringLiteral("sizes-%1").arg(v), 1560, height, Qt::white);
    int y = 10;
    for (int i = 0; i < 6; ++i) {
        const bool faint = i >= 3;
        const QFont f = fontOf(kSans[(i + v) % 2], faint ? 12 + (i + v) % 2 : 10 + (i + v) % 3);
        const Sample& sample = i % 2 ? pick(kPhones, i + v) : pick(kEmails, i + v);
        const QColor colour = faint ? QColor(0x9A, 0xA0, 0xA6) : QColor(32, 33, 36);
        const int x = 20 + s.text(f, colour, 20, y, faint ? QStringLiteral("Secondary") : QStringLiteral("Contact")) + 8;
        s.item(f, colour, x, y, sample, faint ? QStringLiteral("faint") : QStringLiteral("small"));
        y += 26;
    }
    for (int i = 0; i < 5; ++i) {
        const QFont f = fontOf(kSans[(i + v) % 2], tall[i]);
        const Sample& sample = i % 2 ? pick(kIps, i + v) : pick(kPhones, i + v);
        s.item(f, QColor(32, 33, 36), 20, y, sample, QStringLiteral("tall"));
        y += int(tall[i] * 1.3);
    }
    return s.finish();
}

} // namespace

std::vector<SurroundingsSheet> surroundingsSheets(int variant) {
    std::vector<SurroundingsSheet> sheets;
    sheets.push_back(highlights(variant));
    sheets.push_back(tags(variant));
    sheets.push_back(chipsAndFields(variant));
    sheets.push_back(avatarsAndIcons(variant));
    for (const QString& family : kMono) sheets.push_back(terminal(variant, family));
    sheets.push_back(monoOnLight(variant));
    sheets.push_back(sizes(variant));
    return sheets;
}

} // namespace DetectionBench
