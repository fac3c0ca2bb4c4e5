#include "TextSurroundings.h"

#include "BenchDrawing.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <functional>

namespace DetectionBench {

QRect InkedItem::inkBounds() const {
    QRect r;
    for (const QPoint& p : ink) r |= QRect(p, QSize(1, 1));
    return r;
}

bool widerThanItsItem(const QRectF& box, const QRect& glyphs) {
    return box.width() > glyphs.width() + 2.0 * glyphs.height() + 12;
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

const Sample kMisreadIbans[] = {{"iban", "1T60X0542811101000000123456"}, {"iban", "$E4550000000058398257466"},
                                {"iban", "1E29AIBK93115212345678"}, {"iban", "\xA3S9121000418450200051332"}};
const Sample kIbans[] = {{"iban", "IT60X0542811101000000123456"}, {"iban", "DE89370400440532013000"}};

template <size_t N>
const Sample& pick(const Sample (&list)[N], int i) {
    return list[size_t(i) % N];
}

// Draws sheets row by row and records each item's ink.
class Sheet {
public:
    Sheet(QString name, int w, int h, const QColor& background) : sheet_{std::move(name), blankImage(w, h, background), {}, {}} {
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

    // A link's underline under the last item, which its run then takes in.
    void underlineLastItem(const QRectF& r, const QColor& c) {
        fill(r, c);
        sheet_.items.back().runBounds |= painter_.transform().mapRect(r).toAlignedRect();
    }

    // Text no detector may hide, with its top-left at (x, y); returns its advance.
    int decoy(const QFont& f, const QColor& c, int x, int y, const QString& s) {
        const int advance = text(f, c, x, y, s);
        sheet_.decoys.push_back({{}, s, {}, trace(f, QPoint(x, y + QFontMetrics(f).ascent()), s), {}});
        return advance;
    }

    // The pixels `s` inks when drawn alone at `baseline` (the sheet's coordinates, which a scaled
    // sheet maps to more pixels).
    std::vector<QPoint> trace(const QFont& f, QPoint baseline, const QString& s) const {
        const QRectF drawn = painter_.transform().mapRect(QRectF(QFontMetrics(f).boundingRect(s).translated(baseline)));
        const QRect area = drawn.toAlignedRect().adjusted(-4, -4, 4, 4) & sheet_.image.rect();
        QImage alone = blankImage(area.width(), area.height(), Qt::transparent);
        QPainter p(&alone);
        p.setRenderHints(painter_.renderHints());
        p.translate(-area.topLeft());
        p.setTransform(painter_.transform(), true);
        p.setFont(f);
        p.setPen(Qt::black);
        p.drawText(baseline, s);
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

// A code editor at twice the pixel density (every length doubled), light or dark, showing JSON:
// line numbers in a gutter, indentation guides, a highlighted current line, syntax colours, the
// e-mail addresses as string values between quotes with a comma glued on.
SurroundingsSheet codeEditor(int v, bool dark) {
    constexpr int kScale = 2;
    const int points[] = {11, 10, 13}; // 10: the at sign of some faces reads as a letter
    const int px = points[v % 3] * kScale;
    const QFont f = fontOf(kMono[(v + (dark ? 2 : 0)) % 3], px);
    const QFontMetrics m(f);
    const int lineHeight = int(px * 1.45);
    const char* const lines[] = {"{", "  \"team\": \"platform\",", "  \"members\": [", "    {", "      \"name\": \"Jane Doe\",",
                                 "      \"email\": @,", "      \"active\": true", "    },", "    {",
                                 "      \"name\": \"Lee Kim\",", "      \"email\": @,", "      \"roles\": [\"admin\"]", "    }",
                                 "  ]", "}"};
    const int count = int(std::size(lines));
    Sheet s(QStringLiteral("editor-%1-%2").arg(dark ? "dark" : "light").arg(v), 1400, count * lineHeight + 40,
            dark ? QColor(30, 30, 30) : QColor(255, 255, 255));
    const QColor number = dark ? QColor(133, 133, 133) : QColor(35, 120, 147);
    const QColor key = dark ? QColor(156, 220, 254) : QColor(4, 81, 165);
    const QColor string = dark ? QColor(206, 145, 120) : QColor(163, 21, 21);
    const QColor punctuation = dark ? QColor(212, 212, 212) : QColor(0, 0, 0);
    const QColor guide = dark ? QColor(64, 64, 64) : QColor(211, 211, 211);
    const int gutter = 60 * kScale;
    const int space = m.horizontalAdvance(QLatin1Char(' '));
    const int current = 5 + v % 2 * 5; // the line the cursor is on: one with an address
    int emailIndex = v;
    for (int i = 0; i < count; ++i) {
        const int top = 20 + i * lineHeight;
        const int y = top + (lineHeight - m.height()) / 2;
        if (i == current) {
            s.fill(QRectF(gutter, top, 1400 - gutter, lineHeight), dark ? QColor(40, 40, 40) : QColor(255, 255, 228));
            s.painter().setPen(QPen(dark ? QColor(50, 50, 50) : QColor(238, 238, 238), kScale));
            s.painter().drawRect(QRectF(gutter + 1, top + 1, 1400 - gutter - 2, lineHeight - 2));
        }
        const QString numberText = QString::number(i + 1);
        s.text(f, i == current ? punctuation : number, gutter - 20 * kScale - m.horizontalAdvance(numberText), y, numberText);
        const QString line = QString::fromLatin1(lines[i]);
        const int indent = int(line.size() - line.trimmed().size());
        for (int level = 2; level < indent; level += 2)
            s.fill(QRectF(gutter + 10 * kScale + level * space, top, kScale / 2.0 + 0.5, lineHeight), guide);
        int x = gutter + 10 * kScale + indent * space;
        const QString rest = line.trimmed();
        const qsizetype colon = rest.indexOf(QLatin1String("\":"));
        if (colon < 0) {
            s.text(f, rest.startsWith('"') ? string : punctuation, x, y, rest);
            continue;
        }
        x += s.text(f, key, x, y, rest.left(colon + 1));
        x += s.text(f, punctuation, x, y, QStringLiteral(": "));
        const QString value = rest.mid(colon + 3);
        if (value.startsWith('@')) {
            x += s.text(f, string, x, y, QStringLiteral("\""));
            x += s.item(f, string, x, y, pick(kEmails, emailIndex++), QStringLiteral("editor"), QStringLiteral("\""),
                        QStringLiteral("\","));
            x += s.text(f, string, x, y, QStringLiteral("\""));
            s.text(f, punctuation, x, y, QStringLiteral(","));
        } else {
            s.text(f, value.startsWith('"') || value.startsWith('[') ? string : QColor(86, 156, 214), x, y, value);
        }
    }
    // The minimap's blocks of tiny lines at the right edge.
    for (int i = 0; i < count; ++i)
        s.fill(QRectF(1400 - 120, 24 + i * 6, 20 + (i * 37) % 60, 3), dark ? QColor(90, 90, 90) : QColor(180, 180, 180));
    return s.finish();
}

// A landscape photograph as a desktop background: sky, hills and grain, no two pixels alike.
QImage wallpaper(int w, int h, int seed) {
    QImage image = blankImage(w, h, Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor::fromHsv((200 + seed * 40) % 360, 120, 230));
    sky.setColorAt(0.6, QColor::fromHsv((30 + seed * 25) % 360, 90, 250));
    p.fillRect(image.rect(), sky);
    quint32 state = 2463534242u + quint32(seed) * 7919u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (int layer = 0; layer < 5; ++layer) {
        QPainterPath hill;
        const double base = h * (0.35 + 0.12 * layer);
        hill.moveTo(0, h);
        for (int x = 0; x <= w; x += 20)
            hill.lineTo(x, base + 40 * std::sin(x / (90.0 + 40 * layer) + seed + layer) + double(next() % 30));
        hill.lineTo(w, h);
        p.fillPath(hill, QColor::fromHsv((90 + layer * 30 + seed * 11) % 360, 90 + layer * 25, 200 - layer * 30));
    }
    for (int i = 0; i < 160; ++i) { // trees, rocks, clouds
        const QColor c = QColor::fromHsv(int(next() % 360), int(next() % 200), 40 + int(next() % 200));
        p.setBrush(c);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(next() % quint32(w), next() % quint32(h)), 4 + next() % 40, 4 + next() % 24);
    }
    p.end();
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = int(next() % 25) - 12;
            row[x] = qRgb(std::clamp(qRed(row[x]) + n, 0, 255), std::clamp(qGreen(row[x]) + n, 0, 255),
                          std::clamp(qBlue(row[x]) + n, 0, 255));
        }
    }
    return image;
}

// Desktop notifications on a photograph, their cards translucent (dark or light, the photograph
// showing through): an application line, a bold title and a body line holding the item.
SurroundingsSheet notifications(int v) {
    const int w = 520, h = 6 * 100 + 20;
    Sheet s(QStringLiteral("notification-%1").arg(v), w, h, Qt::black);
    s.painter().drawImage(0, 0, wallpaper(w, h, v));
    const char* const bodies[] = {"Call back ", "Missed call from ", "Verify SSN ", "SMS from ", "SSN on file: ",
                                  "New voicemail "};
    for (int i = 0; i < 6; ++i) {
        const bool dark = (i + v) % 2 == 0;
        const QRectF card(16, 12 + i * 100, w - 32, 88);
        s.fill(card, dark ? QColor(28, 28, 30, 150 + (i + v) % 3 * 30) : QColor(246, 246, 246, 140 + (i + v) % 3 * 30), 12);
        const QColor primary = dark ? QColor(245, 245, 245) : QColor(20, 20, 20);
        const QColor secondary = dark ? QColor(190, 190, 190) : QColor(80, 80, 80);
        const QString family = (i + v) % 3 == 2 ? QStringLiteral("Inter") : kSans[(i + v) % 2];
        const int size = 13 + (i + v) % 2;
        s.text(fontOf(family, 11), secondary, 30, 22 + i * 100, QStringLiteral("Messages  now"));
        s.text(fontOf(family, size, true), primary, 30, 42 + i * 100, QStringLiteral("Alex Morgan"));
        const bool ssn = i % 3 == 2;
        const QString body = QString::fromLatin1(bodies[(i + v) % 6]);
        const QFont f = fontOf(family, size);
        const int x = 30 + s.text(f, primary, 30, 64 + i * 100, body);
        s.item(f, primary, x, 64 + i * 100, ssn ? pick(kSsns, i + v) : pick(kPhones, i + v), QStringLiteral("notification"));
    }
    return s.finish();
}

// A dense spreadsheet: 11 px text in rows 17 px apart between grid lines, headers, a selected cell,
// an address that fills its cell to the grid line and one that runs over the empty cell beside it.
SurroundingsSheet spreadsheet(int v) {
    const int rowHeight = 16 + v % 2, columns[] = {34, 90, 160, 96, 70, 70};
    const int rows = 12, w = 560, h = (rows + 1) * rowHeight + 20;
    Sheet s(QStringLiteral("spreadsheet-%1").arg(v), w, h, Qt::white);
    const QFont f = fontOf(kSans[v % 2], 11);
    const QFont header = fontOf(kSans[v % 2], 11);
    const QColor grid(218, 220, 224), text(32, 33, 36);
    const char* const names[] = {"Jane Doe", "Joe Jay", "M. Rossi", "Lee Kim"};
    s.fill(QRectF(0, 10, w, rowHeight), QColor(248, 249, 250));
    s.fill(QRectF(0, 10, columns[0], h), QColor(248, 249, 250));
    int x = columns[0];
    for (int c = 1; c < 6; ++c) {
        s.text(header, QColor(95, 99, 104), x + columns[c] / 2 - 3, 10 + 2, QString(QChar('A' + c - 1)));
        x += columns[c];
    }
    for (int r = 0; r < rows; ++r) {
        const int top = 10 + (r + 1) * rowHeight;
        const int y = top + (rowHeight - QFontMetrics(f).height()) / 2;
        s.text(header, QColor(95, 99, 104), 10, y, QString::number(r + 1));
        int cx = columns[0];
        const bool overflow = r % 4 == 3; // the next cell is empty: the address runs on over it
        for (int c = 1; c < 6; ++c) {
            const int left = cx + 3;
            if (c == 1) s.text(f, text, left, y, QString::fromLatin1(names[(r + v) % 4]));
            if (c == 2 && r % 2 == v % 2) s.item(f, text, left, y, pick(kEmails, r / 2 + v), QStringLiteral("spreadsheet"));
            if (c == 2 && r % 2 != v % 2) s.text(f, text, left, y, QStringLiteral("n/a"));
            if (c == 3 && !overflow) s.text(f, text, cx + columns[c] - 3 - QFontMetrics(f).horizontalAdvance(QStringLiteral("1,204.50")), y, QStringLiteral("1,204.50"));
            if (c >= 4) s.text(f, text, left, y, QString::number((r * 37 + c * 11) % 400));
            cx += columns[c];
        }
    }
    // Grid lines, drawn over the cells as a spreadsheet does, except where a cell's text runs on.
    QPainter& p = s.painter();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(grid);
    for (int r = 0; r <= rows + 1; ++r) p.drawLine(0, 10 + r * rowHeight, w, 10 + r * rowHeight);
    int gx = 0;
    for (int c = 0; c < 6; ++c) {
        gx += columns[c];
        for (int r = 0; r <= rows; ++r) {
            if (c == 2 && r > 0 && (r - 1) % 4 == 3) continue;
            p.drawLine(gx, 10 + r * rowHeight, gx, 10 + (r + 1) * rowHeight - 1);
        }
    }
    // The selected cell: a 2 px blue frame.
    const int selectedRow = v % 2 + 1 + 2 * (v % 3);
    p.setPen(QPen(QColor(26, 115, 232), 2));
    p.drawRect(columns[0] + columns[1], 10 + selectedRow * rowHeight, columns[2], rowHeight);
    return s.finish();
}

// Items inside longer tokens (an address in a URL, in brackets after a host name), card numbers
// after other digits on their line (an order number, a social security number), and IBANs whose
// country code recognition misreads as look-alike digits or symbols: those are drawn as read, the
// rest of the IBAN right.
SurroundingsSheet tokens(int v) {
    Sheet s(QStringLiteral("token-%1").arg(v), 760, 12 * 34 + 20, Qt::white);
    const QColor ink(32, 33, 36);
    for (int i = 0; i < 12; ++i) {
        const QFont f = i % 3 == 2 ? fontOf(kMono[(i + v) % 3], 12 + (i + v) % 3) : fontOf(kSans[(i + v) % 2], 13 + (i + v) % 3);
        const int y = 12 + i * 34;
        int x = 20;
        const auto glued = [&](const QString& lead, const QString& before, const Sample& sample, const QString& after,
                               const QString& trail) {
            x += s.text(f, ink, x, y, lead + before);
            x += s.item(f, ink, x, y, sample, QStringLiteral("token"), before, after);
            x += s.text(f, ink, x, y, after + trail);
        };
        switch ((i + v) % 6) {
        case 0:
            glued(QStringLiteral("GET "), QStringLiteral("https://"), pick(kIps, i + v), QStringLiteral("/status"),
                  QStringLiteral(" 200 OK"));
            break;
        case 1:
            glued(QStringLiteral("postfix: "), QStringLiteral("relay=host["), pick(kIps, i + v), QStringLiteral("]:25"),
                  QStringLiteral(" sent"));
            break;
        case 2:
            glued(QStringLiteral("Order 1234 5678 "), {}, pick(kCards, i + v), {}, QStringLiteral(" paid"));
            break;
        case 3:
            glued(QStringLiteral("Applicant "), {}, pick(kSsns, i + v), {}, QStringLiteral(" "));
            glued({}, {}, {"card", "4879-1831-3939-3403"}, {}, {});
            break;
        case 4:
            glued(QStringLiteral("IBAN: "), {}, pick(kMisreadIbans, i + v), {}, QStringLiteral(" (savings)"));
            break;
        default:
            glued(QStringLiteral("IBAN "), {}, pick(kIbans, i + v), {}, QStringLiteral(" checking"));
            break;
        }
    }
    return s.finish();
}

// Luhn-valid card numbers heavy in eights, threes and sixes: the digits small text blurs together.
const Sample kEightCards[] = {{"card", "4888 3886 1868 8582"}, {"card", "5188-8386-8838-1884"},
                             {"card", "6011 8888 6386 3884"}, {"card", "4388-8368-8818-6831"},
                             {"card", "5288 6888 3838 8183"}};

// A messenger: grey incoming bubbles with dark text and outgoing ones filled with a purple-to-blue
// gradient, white text on it. The gradient runs across each bubble or, as some messengers paint
// it, down the whole conversation, so that every bubble shows another part of it.
SurroundingsSheet chatBubbles(int v) {
    const int w = 520, rows = 8, pitch = 58;
    Sheet s(QStringLiteral("chat-%1").arg(v), w, rows * pitch + 20, v % 2 ? QColor(255, 255, 255) : QColor(242, 242, 247));
    const char* const before[] = {"Call me at ", "My SSN is ", "Card: ", "Mail ", "Server ", "Or ", "SSN ", "Use "};
    const QColor purple(124, 77, 255), blue(41, 121, 255);
    QLinearGradient whole(0, 0, 0, rows * pitch + 20);
    whole.setColorAt(0, purple);
    whole.setColorAt(1, blue);
    for (int i = 0; i < rows; ++i) {
        const QFont f = fontOf(i % 3 == 2 ? QStringLiteral("Inter") : kSans[(i + v) % 2], 13 + (i + v) % 3);
        const QFontMetrics m(f);
        const int y = 14 + i * pitch;
        if (i % 4 == 3) { // an incoming message between them
            const QString text = QStringLiteral("Thanks, got it");
            const int tw = m.horizontalAdvance(text);
            s.fill(QRectF(16, y, tw + 28, m.height() + 16), QColor(229, 229, 234), (m.height() + 16) / 2.0);
            s.text(f, QColor(20, 20, 20), 30, y + 8, text);
            continue;
        }
        const int kind = (i + v) % 5;
        const Sample& sample = kind == 0 ? pick(kPhones, i + v) : kind == 1 ? pick(kSsns, i + v)
                             : kind == 2 ? pick(kCards, i + v) : kind == 3 ? pick(kEmails, i + v) : pick(kIps, i + v);
        const QString lead = QString::fromLatin1(before[(i + v) % 8]);
        const int tw = m.horizontalAdvance(lead + QString::fromLatin1(sample.text));
        const QRectF bubble(w - 16 - tw - 28, y, tw + 28, m.height() + 16);
        QPainterPath path;
        path.addRoundedRect(bubble, 18, 18);
        if ((i + v) % 2) {
            QLinearGradient across(bubble.topLeft(), bubble.bottomRight());
            across.setColorAt(0, purple);
            across.setColorAt(1, blue);
            s.painter().fillPath(path, across);
        } else {
            s.painter().fillPath(path, whole);
        }
        const int x = int(bubble.x()) + 14;
        s.text(f, Qt::white, x, y + 8, lead);
        s.item(f, Qt::white, x + m.horizontalAdvance(lead), y + 8, sample, QStringLiteral("chat"));
    }
    return s.finish();
}

// A document's narrow comment rail: cards of wrapped 13 px lines 17 px apart, a highlighted
// comment, underlined links, addresses and numbers in the middle of wrapped lines.
SurroundingsSheet commentRail(int v) {
    const int w = 900, h = 640, railX = 620, railW = 250;
    Sheet s(QStringLiteral("rail-%1").arg(v), w, h, QColor(248, 249, 250));
    s.fill(QRectF(40, 20, railX - 80, h - 40), Qt::white);
    const QFont body = fontOf(kSans[v % 2], 13 + v % 2);
    for (int i = 0; i < 14; ++i)
        s.text(body, QColor(60, 64, 67), 70, 50 + i * 30, QStringLiteral("The quarterly report covers the migration of section %1.").arg(i + 1));
    struct BodyLine {
        const char* before;
        Sample item; // no detector: a plain line
        const char* after;
    };
    struct Comment {
        const char* author;
        std::vector<BodyLine> lines;
        bool highlighted;
    };
    const Comment comments[] = {
        {"Ada Whitlock", {{"Staging moved, use ", {nullptr, nullptr}, ""}, {"host ", pick(kIps, v), " from now"}, {"and update the runbook.", {nullptr, nullptr}, ""}}, false},
        {"Lee Kim", {{"Ask ", pick(kEmails, v), ""}, {"or call ", pick(kPhones, v), " today"}}, v % 2 == 0},
        {"Jane Doe", {{"Billing ran on ", pick(kIps, v + 1), ","}, {"card ", pick(kCards, v), ""}, {"refund went out.", {nullptr, nullptr}, ""}}, v % 2 == 1},
        {"M. Rossi", {{"SSN ", pick(kSsns, v), " is on"}, {"ping ", pick(kEmails, v + 1), ""}}, false},
    };
    int top = 30;
    for (const Comment& c : comments) {
        const int lineStep = 17;
        const int cardH = 34 + int(c.lines.size()) * lineStep + 8;
        s.fill(QRectF(railX, top, railW, cardH), Qt::white, 8);
        if (c.highlighted) s.fill(QRectF(railX, top, 4, cardH), QColor(251, 188, 4));
        s.text(fontOf(kSans[v % 2], 13, true), QColor(32, 33, 36), railX + 12, top + 8, QString::fromLatin1(c.author));
        int y = top + 30;
        for (const BodyLine& line : c.lines) {
            if (c.highlighted) s.fill(QRectF(railX + 10, y - 1, railW - 20, lineStep), QColor(254, 239, 195));
            const QFont f = fontOf(kSans[v % 2], 13);
            int x = railX + 12 + s.text(f, QColor(32, 33, 36), railX + 12, y, QString::fromLatin1(line.before));
            if (line.item.detector) {
                const bool link = QString::fromLatin1(line.item.detector) == QLatin1String("email");
                const QColor colour = link ? QColor(26, 115, 232) : QColor(32, 33, 36);
                const int advance = s.item(f, colour, x, y, line.item, QStringLiteral("rail"), {},
                                           QString::fromLatin1(line.after).section(' ', 0, 0));
                if (link) {
                    const int base = y + QFontMetrics(f).ascent() + 2;
                    s.fill(QRectF(x, base, advance, 1), colour);
                }
                x += advance;
                s.text(f, QColor(32, 33, 36), x, y, QString::fromLatin1(line.after));
            }
            y += lineStep;
        }
        top += cardH + 12;
    }
    return s.finish();
}

// A seascape or a lake as a photograph: sky, water with light streaks of waves, a far shore, grain.
QImage waterPhoto(int w, int h, int seed, bool lake) {
    QImage image = blankImage(w, h, Qt::black);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const int horizon = int(h * (0.35 + 0.05 * (seed % 3)));
    QLinearGradient sky(0, 0, 0, horizon);
    sky.setColorAt(0, QColor(70 + seed * 10 % 40, 130, 200));
    sky.setColorAt(1, QColor(200, 215, 230));
    p.fillRect(QRect(0, 0, w, horizon), sky);
    QLinearGradient water(0, horizon, 0, h);
    water.setColorAt(0, lake ? QColor(60, 110, 120) : QColor(40, 110, 170));
    water.setColorAt(1, lake ? QColor(20, 50, 60) : QColor(10, 50, 100));
    p.fillRect(QRect(0, horizon, w, h - horizon), water);
    quint32 state = 88172645u + quint32(seed) * 104729u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    if (lake) { // a wooded shore and its reflection
        QPainterPath shore;
        shore.moveTo(0, horizon);
        for (int x = 0; x <= w; x += 12) shore.lineTo(x, horizon - 10 - double(next() % 26));
        shore.lineTo(w, horizon);
        p.fillPath(shore, QColor(30, 60, 35));
        p.setOpacity(0.45);
        p.fillPath(QTransform(1, 0, 0, -1, 0, 2 * horizon).map(shore), QColor(30, 60, 35));
        p.setOpacity(1);
    }
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 600; ++i) { // the light on the waves
        const double y = horizon + double(next() % quint32(h - horizon));
        const double depth = (y - horizon) / double(h - horizon);
        p.setBrush(QColor(220, 235, 250, 40 + int(next() % 90)));
        p.drawEllipse(QPointF(next() % quint32(w), y), 3 + depth * double(next() % 18), 0.5 + depth * 1.5);
    }
    p.end();
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = int(next() % 17) - 8;
            row[x] = qRgb(std::clamp(qRed(row[x]) + n, 0, 255), std::clamp(qGreen(row[x]) + n, 0, 255),
                          std::clamp(qBlue(row[x]) + n, 0, 255));
        }
    }
    return image;
}

// Items drawn over photographs: a caption in white with a soft shadow on a landscape, a contact
// card over a lake, a phone number in large white letters over the sea.
SurroundingsSheet overPhotos(int v) {
    const int w = 560, h = 3 * 200 + 40;
    Sheet s(QStringLiteral("photo-%1").arg(v), w, h, Qt::white);
    QPainter& p = s.painter();
    // The caption, over the lower part of a landscape.
    p.drawImage(20, 10, wallpaper(w - 40, 190, v + 3));
    const QFont caption = fontOf(kSans[v % 2], 14 + v % 2);
    const Sample& captioned = v % 2 ? pick(kEmails, v) : pick(kPhones, v);
    const QString lead = QStringLiteral("Photo: Alex Morgan, ");
    const int captionY = 10 + 190 - 30;
    const QFontMetrics cm(caption);
    s.text(caption, QColor(0, 0, 0, 140), 33, captionY + 1, lead + QString::fromLatin1(captioned.text));
    s.text(caption, Qt::white, 32, captionY, lead);
    s.item(caption, Qt::white, 32 + cm.horizontalAdvance(lead), captionY, captioned, QStringLiteral("photo-caption"));
    // A card over a lake.
    p.drawImage(20, 220, waterPhoto(w - 40, 190, v, true));
    const QFont name = fontOf(kSans[(v + 1) % 2], 15, true);
    const QFont line = fontOf(kSans[(v + 1) % 2], 13 + v % 2);
    const QRectF card(60, 250, 300, 100);
    s.fill(card, QColor(255, 255, 255, v % 2 ? 235 : 200), 12);
    s.text(name, QColor(20, 20, 20), 76, 262, QStringLiteral("Lakeside Cabin"));
    const QString host = QStringLiteral("Host ");
    const int hx = 76 + s.text(line, QColor(50, 50, 50), 76, 290, host);
    s.item(line, QColor(50, 50, 50), hx, 290, pick(kPhones, v + 1), QStringLiteral("photo-card"));
    s.item(line, QColor(50, 50, 50), 76, 314, pick(kEmails, v + 2), QStringLiteral("photo-card"));
    // A phone number over the sea.
    p.drawImage(20, 430, waterPhoto(w - 40, 190, v + 1, false));
    const QFont big = fontOf(kSans[v % 2], 22 + 2 * v, true);
    s.item(big, Qt::white, 44, 430 + 120, pick(kPhones, v + 2), QStringLiteral("photo-sea"));
    return s.finish();
}

// A newsletter: coloured rounded buttons with white text, the item alone or after a word; some
// buttons cast a shadow, some shade from one colour to another.
SurroundingsSheet newsletterButtons(int v) {
    const int rows = 6;
    Sheet s(QStringLiteral("newsletter-%1").arg(v), 560, rows * 64 + 80, Qt::white);
    s.text(fontOf(kSans[v % 2], 22, true), QColor(32, 33, 36), 24, 14, QStringLiteral("This week at the studio"));
    const QColor fills[] = {QColor(230, 81, 0), QColor(16, 133, 72), QColor(26, 115, 232), QColor(32, 33, 36),
                            QColor(219, 39, 119), QColor(103, 58, 183)};
    const char* const leads[] = {"Call ", "", "Text ", "Write to ", "", "Fax "};
    for (int i = 0; i < rows; ++i) {
        const QFont f = fontOf(i % 3 == 1 ? QStringLiteral("Inter") : kSans[(i + v) % 2], 14 + (i + v) % 3, (i + v) % 2 == 0);
        const QFontMetrics m(f);
        const Sample& sample = i % 3 == 2 ? pick(kEmails, i + v) : pick(kPhones, i + v);
        const QString lead = QString::fromLatin1(leads[(i + v) % 6]);
        const int tw = m.horizontalAdvance(lead + QString::fromLatin1(sample.text));
        const int padX = 18 + 6 * ((i + v) % 2), padY = 10 + 2 * (i % 3);
        const int top = 60 + i * 64;
        const int left = (i + v) % 2 ? 24 : (560 - tw - 2 * padX) / 2;
        const double radius = (i + v) % 3 == 0 ? 4 : (i + v) % 3 == 1 ? 8 : (m.height() + 2 * padY) / 2.0;
        const QRectF button(left, top, tw + 2 * padX, m.height() + 2 * padY);
        if (i % 2) s.fill(button.translated(0, 2).adjusted(-1, 0, 1, 1), QColor(0, 0, 0, 50), radius); // a shadow
        if ((i + v) % 3 == 2) { // a gradient across the button
            QLinearGradient across(button.topLeft(), button.topRight());
            across.setColorAt(0, fills[(i + v) % 6]);
            across.setColorAt(1, fills[(i + v + 4) % 6]);
            QPainterPath path;
            path.addRoundedRect(button, radius, radius);
            s.painter().fillPath(path, across);
        } else {
            s.fill(button, fills[(i + v) % 6], radius);
        }
        const int x = left + padX + s.text(f, Qt::white, left + padX, top + padY, lead);
        s.item(f, Qt::white, x, top + padY, sample, QStringLiteral("button"));
    }
    return s.finish();
}

// A comment thread in tight lines: some lines highlighted across the column (a mention, a quoted
// line), addresses and numbers as underlined links, with the next line just below their underline.
SurroundingsSheet commentThread(int v) {
    const int comments = 4, w = 600;
    Sheet s(QStringLiteral("comments-%1").arg(v), w, comments * 96 + 20, Qt::white);
    const QColor link(26, 115, 232), text(32, 33, 36);
    const char* const names[] = {"Jane Doe", "Joe Jay", "M. Rossi", "Lee Kim"};
    for (int c = 0; c < comments; ++c) {
        const QFont f = fontOf(c % 2 ? QStringLiteral("Inter") : kSans[(c + v) % 2], 13 + (c + v) % 2);
        const QFontMetrics m(f);
        const int lineHeight = m.height() + 1 + (c + v) % 2;
        const int top = 10 + c * 96;
        QPainterPath avatar;
        avatar.addEllipse(QRectF(16, top, 32, 32));
        s.painter().fillPath(avatar, QColor::fromHsv((c * 83 + v * 29) % 360, 120, 210));
        s.text(fontOf(kSans[0], 13, true), text, 60, top, QString::fromLatin1(names[(c + v) % 4]));
        s.text(fontOf(kSans[0], 11), QColor(101, 103, 107), 150, top + 2, QStringLiteral("2 h ago"));
        for (int l = 0; l < 3; ++l) {
            const int y = top + 20 + l * lineHeight;
            const bool highlighted = (l + c + v) % 3 == 0;
            if (highlighted)
                s.fill(QRectF(56, y - 1, w - 72, lineHeight), c % 2 ? QColor(255, 240, 179) : QColor(232, 240, 254));
            const int kind = (c * 3 + l + v) % 4;
            const bool isLink = kind < 2;
            const Sample& sample = kind == 0 ? pick(kEmails, c + l + v) : kind == 1 ? pick(kPhones, c + l + v)
                                 : kind == 2 ? pick(kIps, c + l + v) : pick(kSsns, c + l + v);
            const QString lead = QString::fromLatin1(l == 0 ? "Ping " : l == 1 ? "see " : "and yes, ");
            const int x = 60 + s.text(f, text, 60, y, lead);
            const int advance = s.item(f, isLink ? link : text, x, y, sample, QStringLiteral("comment"));
            if (isLink) {
                const double under = y + m.ascent() + std::max(1, m.underlinePos());
                s.fill(QRectF(x, under, advance, std::max(1, m.lineWidth())), link);
            }
            s.text(f, text, x + advance, y, QStringLiteral(" if it helps, thanks"));
        }
    }
    return s.finish();
}

// A code-review thread as a browser draws it, light or dark, at 1x or 1.25x: a 24-32 px initials
// avatar at the left of each comment, beside a bold 11-12 px name with a small grey date and
// "· edited" on its line, and the 12-13 px comment 1-3 px below; replies indented. The items are
// plain, underlined links, highlighted mentions and italics; the dates are decoys, which a box
// holding both lines would hide.
SurroundingsSheet reviewThread(int v, bool dark, double scale) {
    struct Comment {
        const char* author;
        const char* lead;
        Sample item; // no detector: a comment without an item
        const char* after;
        enum { plain, link, mention, italic } style;
        bool reply;
    };
    const Comment comments[] = {
        {"Marta Lindqvist", "please loop in ", pick(kEmails, v), "", Comment::link, false},
        {"Devon Price", "call me at ", pick(kPhones, v), ", not 555-0143", Comment::plain, false},
        {"Ines Moreau", "CC ", pick(kEmails, v + 1), "", Comment::mention, true},
        {"Tomasz Wrobel", "reviewer: ", pick(kEmails, v + 2), "", Comment::italic, false},
        {"Ravi Menon", "fixed in v3.1.4, see #58213", {nullptr, nullptr}, "", Comment::plain, false},
        {"Hanna Berg", "deploy from ", pick(kIps, v), " only", Comment::plain, false},
        {"Luis Ortega", "or mail ", pick(kEmails, v + 3), " today", Comment::plain, true},
        {"Grace Obi", "text me on ", pick(kPhones, v + 1), " after 6", Comment::link, false},
        {"Chen Wei", "my SSN ", pick(kSsns, v), " is on the form", Comment::mention, false},
    };
    const int count = int(std::size(comments)), w = 560, pitch = 38;
    const QColor ground = dark ? QColor(13, 17, 23) : Qt::white;
    Sheet s(QStringLiteral("thread-%1-%2-%3").arg(dark ? "dark" : "light", scale > 1 ? "125" : "1x").arg(v),
            int(std::ceil(w * scale)), int(std::ceil((count * pitch + 16) * scale)), ground);
    s.painter().scale(scale, scale);
    const QColor text = dark ? QColor(230, 237, 243) : QColor(31, 35, 40);
    const QColor grey = dark ? QColor(125, 133, 144) : QColor(101, 109, 118);
    const QColor link = dark ? QColor(68, 147, 248) : QColor(9, 105, 218);
    const QColor band = dark ? QColor(66, 56, 18) : QColor(255, 248, 197);
    const QString family = v == 2 ? QStringLiteral("Inter") : kSans[v % 2];
    for (int c = 0; c < count; ++c) {
        const Comment& comment = comments[c];
        const int avatarSize = 24 + 4 * ((c + v) % 3);
        const int left = 12 + (comment.reply ? 36 : 0), top = 8 + c * pitch;
        QPainterPath avatar;
        avatar.addEllipse(QRectF(left, top, avatarSize, avatarSize));
        s.painter().fillPath(avatar, QColor::fromHsv((c * 67 + v * 41) % 360, 150, dark ? 170 : 200));
        const QString initials = QString::fromLatin1(comment.author).section(' ', 0, 0).left(1) +
                                 QString::fromLatin1(comment.author).section(' ', 1, 1).left(1);
        const QFont initialsFont = fontOf(family, avatarSize * 2 / 5, true);
        const QFontMetrics im(initialsFont);
        s.text(initialsFont, Qt::white, left + (avatarSize - im.horizontalAdvance(initials)) / 2,
               top + (avatarSize - im.height()) / 2, initials);

        const int x = left + avatarSize + 8;
        const QFont name = fontOf(family, 11 + (c + v) % 2, true);
        const QFont date = fontOf(family, 10 + (c + v + 1) % 2);
        const QFontMetrics nm(name);
        const int nameAdvance = s.text(name, text, x, top, QString::fromLatin1(comment.author));
        const int dateTop = top + nm.ascent() - QFontMetrics(date).ascent();
        const QString when = QStringLiteral("%1 Dec 2026, %2:%3")
                                 .arg(4 + c / 2)
                                 .arg(9 + c, 2, 10, QLatin1Char('0'))
                                 .arg(c * 7 % 60, 2, 10, QLatin1Char('0'));
        const int dateAdvance = s.decoy(date, grey, x + nameAdvance + 4, dateTop, when);
        s.text(date, grey, x + nameAdvance + 4 + dateAdvance, dateTop, QStringLiteral(" \u00b7 edited"));

        QFont body = fontOf(family, 12 + (c + v) % 2);
        const int y = top + nm.height() + 1 + (c + v) % 3;
        int bx = x + s.text(body, text, x, y, QString::fromLatin1(comment.lead));
        if (!comment.item.detector) continue;
        if (comment.style == Comment::italic) body.setItalic(true);
        const QFontMetrics bm(body);
        const int advance = bm.horizontalAdvance(QString::fromLatin1(comment.item.text));
        if (comment.style == Comment::mention) s.fill(QRectF(bx - 1, y, advance + 2, bm.height()), band, 3);
        const QColor ink = comment.style == Comment::link ? link : text;
        s.item(body, ink, bx, y, comment.item, QStringLiteral("thread"), {},
               QString::fromLatin1(comment.after).section(' ', 0, 0));
        if (comment.style == Comment::link) {
            const int under = y + bm.ascent() + std::max(1, bm.underlinePos());
            s.underlineLastItem(QRectF(bx, under, advance, std::max(1, bm.lineWidth())), link);
        }
        bx += advance;
        body.setItalic(false);
        s.text(body, text, bx, y, QString::fromLatin1(comment.after));
    }
    return s.finish();
}

// Card numbers, phone and social security numbers in 9 px text: a receipt's lines and a dense
// table with striped rows, dark or grey, the glyphs hinted or not.
SurroundingsSheet smallDigits(int v) {
    const int rows = 10;
    Sheet s(QStringLiteral("small-digits-%1").arg(v), 360, rows * 14 + 24, Qt::white);
    const QString families[] = {kSans[0], kSans[1], QStringLiteral("Inter")};
    for (int i = 0; i < rows; ++i) {
        QFont f = fontOf(families[(i + v) % 3], 9, i % 5 == 4);
        if ((i + v) % 2) f.setHintingPreference(QFont::PreferNoHinting);
        const int y = 12 + i * 14;
        if (i % 2) s.fill(QRectF(8, y - 2, 344, 14), QColor(241, 243, 244));
        const Sample& sample = i % 4 == 3 ? pick(kSsns, i + v) : i % 4 == 2 ? pick(kPhones, i + v) : pick(kEightCards, i + v);
        const int x = 16 + s.text(f, QColor(95, 99, 104), 16, y, QStringLiteral("Paid with"));
        s.item(f, i % 3 ? QColor(32, 33, 36) : QColor(95, 99, 104), x + 6, y, sample, QStringLiteral("tiny"));
    }
    return s.finish();
}

// Addresses whose local part ends in a digit or two before the at sign, the hardest to read in
// small monospaced text ("fay0@" read as "fayOG", "schulz7@" as "schulz/@").
const Sample kLogEmails[] = {{"email", "fay0@example.com"},        {"email", "emma.schulz7@contoso.org"},
                             {"email", "kim10@example.com"},       {"email", "wei.zhang70@fabrikam.io"},
                             {"email", "mo6@example.com"},         {"email", "dana70@example.com"},
                             {"email", "lee_kim42@mail.example.org"}, {"email", "gus8@corp.example.net"}};
const Sample kLogIps[] = {{"ipv4", "10.48.187.150"}, {"ipv4", "10.67.120.225"}, {"ipv4", "192.0.2.147"},
                          {"ipv4", "10.221.190.40"}};

// An application's and a mail server's logs in a terminal, as xterm draws them at 9, 10 and 11 pt
// on a 96 dpi screen (12, 13 and 15 px, in cells of 7, 8 and 9 px) and at 26 px: the address glued
// to "user=" or "email=", between "to=<" and ">,", and between "for" and "from"; the other items
// glued to their keys or in brackets. Dark on white in DejaVu Sans Mono, or light on near-black in
// another monospaced family.
SurroundingsSheet terminalLog(int v, bool dark) {
    const QString families[] = {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                                QStringLiteral("Noto Sans Mono")};
    const QString family = dark ? families[v % 3] : families[0];
    const QColor ink = dark ? QColor(208, 208, 208) : QColor(0, 0, 0);
    // The terminal's rows: its font's ascent and descent, each rounded up to whole pixels.
    const auto rowOf = [](const QFont& f) {
        const QFontMetricsF m(f);
        return int(std::ceil(m.ascent()) + std::ceil(m.descent()));
    };
    const int sizes[] = {12, 13, 15, 26};
    int height = 20;
    for (const int px : sizes) height += 5 * rowOf(fontOf(family, px));
    Sheet s(QStringLiteral("log-%1-%2").arg(dark ? "dark" : "light").arg(v), 2240, height,
            dark ? QColor(30, 30, 30) : Qt::white);
    // Each line's items stand in braces; what is glued to an item runs to the spaces around it.
    const char* const lines[] = {
        "2026-12-08 09:14:02 INFO order=48000 user={email} phone={phone} ssn={ssn} src={ip}",
        "Dec  8 09:14:03 mx1 postfix/smtp[2211]: 4F1A2: to=<{email}>, relay=mx.example.org[{ip}]:25, status=sent",
        "Dec  8 09:14:05 host sshd[3121]: Failed password for {email} from {ip} port 52144 ssh2",
        "2026-12-08T09:14:07 WARN auth: login email={email} ip={ip} tel={phone}"};
    int y = 10;
    int n = v * 5 + (dark ? 2 : 0);
    for (const int px : sizes) {
        const QFont f = fontOf(family, px);
        for (const char* line : lines) {
            const QStringList parts = QString::fromLatin1(line).split(QLatin1Char('{'));
            int x = 8 + s.text(f, ink, 8, y, parts.front());
            for (qsizetype k = 1; k < parts.size(); ++k) {
                const QString kind = parts[k].section(QLatin1Char('}'), 0, 0);
                const QString rest = parts[k].section(QLatin1Char('}'), 1);
                const Sample& sample = kind == QLatin1String("email") ? pick(kLogEmails, n)
                                     : kind == QLatin1String("ip")    ? pick(kLogIps, n + int(k))
                                     : kind == QLatin1String("phone") ? pick(kPhones, n)
                                                                      : pick(kSsns, n);
                const QString before = parts[k - 1].section(QLatin1Char(' '), -1);
                x += s.item(f, ink, x, y, sample, QStringLiteral("log"), before, rest.section(QLatin1Char(' '), 0, 0));
                x += s.text(f, ink, x, y, rest);
            }
            y += rowOf(f);
            ++n;
        }
        y += rowOf(f); // each size a terminal of its own, a blank row apart
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
    sheets.push_back(codeEditor(variant, false));
    sheets.push_back(codeEditor(variant, true));
    sheets.push_back(notifications(variant));
    sheets.push_back(spreadsheet(variant));
    sheets.push_back(tokens(variant));
    sheets.push_back(commentRail(variant));
    sheets.push_back(chatBubbles(variant));
    sheets.push_back(overPhotos(variant));
    sheets.push_back(newsletterButtons(variant));
    sheets.push_back(commentThread(variant));
    for (const bool dark : {false, true})
        for (const double scale : {1.0, 1.25}) sheets.push_back(reviewThread(variant, dark, scale));
    sheets.push_back(smallDigits(variant));
    for (const bool dark : {false, true}) sheets.push_back(terminalLog(variant, dark));
    return sheets;
}

} // namespace DetectionBench
