#include "ScreenRenderer.h"

#include "BenchDrawing.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

namespace DetectionBench {

namespace {

// Draws `text` with its top-left at (x, y) and returns the rectangle its glyphs can cover.
QRect drawText(QPainter& p, const QFont& f, const QColor& colour, int x, int y, const QString& text) {
    p.setFont(f);
    p.setPen(colour);
    const QFontMetrics m(f);
    p.drawText(QPoint(x, y + m.ascent()), text);
    return QRect(x, y, m.horizontalAdvance(text), m.height());
}

const char* const kWords[] = {
    "account", "update", "review", "settings", "project", "release", "meeting", "notes", "budget", "draft",
    "customer", "invoice", "status", "pending", "approved", "shipping", "address", "contact", "details",
    "profile", "security", "network", "storage", "backup", "report", "quarterly", "summary", "team", "owner",
    "deadline", "priority", "ticket", "support", "billing", "payment", "schedule", "archive", "folder",
};

QString words(QRandomGenerator& rng, int count) {
    QStringList list;
    for (int i = 0; i < count; ++i) list.append(QString::fromLatin1(kWords[rng.bounded(int(std::size(kWords)))]));
    return list.join(QLatin1Char(' '));
}

struct Person {
    const char* name;
    const char* email;
    const char* phone;
    const char* ssn;
    const char* card;
    const char* iban;
    const char* ip;
};

const Person kPeople[] = {
    {"Ada Whitlock", "ada.whitlock@example.com", "(415) 555-0132", "123-45-6789", "4111 1111 1111 1111",
     "DE89370400440532013000", "192.168.10.24"},
    {"Boris Quade", "b.quade@mailhost.org", "212-555-0187", "234-56-7890", "5500 0000 0000 0004",
     "GB29NWBK60161331926819", "10.0.4.17"},
    {"Carla Ng", "carla.ng@corp.example.net", "646.555.0143", "345-67-8901", "4012 8888 8888 1881",
     "FR1420041010050500013M02606", "172.16.254.3"},
    {"Dmitri Osei", "dosei@example.io", "303-555-0199", "456-78-9012", "3782 822463 10005",
     "NL91ABNA0417164300", "203.0.113.77"},
    {"Elena Varga", "elena.varga@example.de", "(617) 555-0110", "567-89-0123", "6011 1111 1111 1117",
     "ES9121000418450200051332", "198.51.100.42"},
    {"Farid Haddad", "farid@example.co.uk", "718-555-0165", "678-90-1234", "4242 4242 4242 4242",
     "IT60X0542811101000000123456", "100.64.0.9"},
};

struct Theme {
    QColor window, sidebar, text, secondary, accent, accentText, rule, field, badge, badgeText, title;
};

Theme themeFor(bool dark) {
    if (dark)
        return {QColor(30, 30, 32), QColor(40, 40, 44), QColor(230, 230, 235), QColor(150, 150, 160),
                QColor(10, 132, 255), Qt::white, QColor(60, 60, 66), QColor(50, 50, 56), QColor(255, 159, 10),
                QColor(20, 20, 20), QColor(45, 45, 48)};
    return {Qt::white, QColor(242, 242, 247), QColor(28, 28, 30), QColor(110, 110, 118), QColor(0, 122, 255),
            Qt::white, QColor(220, 220, 225), QColor(248, 248, 250), QColor(52, 199, 89), Qt::white,
            QColor(236, 236, 240)};
}

class DenseScreen {
public:
    DenseScreen(int w, int h, bool dark, quint32 variant)
        : image_(blankImage(w, h)), theme_(themeFor(dark)), rng_(dark ? 7 : 3), fresh_(variant), variant_(variant) {
        image_.fill(theme_.window);
        painter_.begin(&image_);
        painter_.setRenderHint(QPainter::TextAntialiasing);
        painter_.setRenderHint(QPainter::Antialiasing);
    }

    RenderedScreen finish(const QString& name) {
        painter_.end();
        return {name, image_, planted_};
    }

    void draw() {
        const int w = image_.width();
        const int h = image_.height();
        const int sidebar = w / 7;
        // Title bar
        painter_.fillRect(0, 0, w, 34, theme_.title);
        text(sans(13, true), theme_.text, 90, 9, "Customer records \u2014 Workspace");
        plant(sans(12), theme_.secondary, w - 330, 10, "signed in as ", "email", "ops.lead@example.com");

        // Sidebar
        painter_.fillRect(0, 34, sidebar, h - 34, theme_.sidebar);
        int y = 50;
        for (int i = 0; y < h - 40; ++i) {
            const bool section = i % 7 == 0;
            text(section ? sans(11, true) : sans(13), section ? theme_.secondary : theme_.text, 16, y,
                 section ? lineWords(y, 1).toUpper() : lineWords(y, 2));
            y += section ? 22 : 26;
        }

        // Main area: columns laid out from the sidebar's edge.
        const int left = sidebar + 24;
        const int mainWidth = w - left - 24;
        y = 52;
        text(sans(16, true), theme_.text, left, y, "Directory");
        button(left + 130, y - 4, "Export");
        badge(left + 230, y - 2, "ip 10.20.30.40", "ipv4", "10.20.30.40");
        y += 34;

        // Table of people, repeated to fill a third of the height.
        const QStringList headers = {"Name", "E-mail", "Phone", "SSN", "Card", "Address"};
        const double columns[] = {0, 0.14, 0.36, 0.52, 0.64, 0.82};
        for (int c = 0; c < headers.size(); ++c)
            text(sans(11, true), theme_.secondary, left + int(columns[c] * mainWidth), y, headers[c].toUpper());
        y += 22;
        const int tableEnd = y + h / 3;
        for (int row = 0; y < tableEnd; ++row) {
            const Person& p = kPeople[row % std::size(kPeople)];
            const QFont f = row % 2 ? liberation(13) : sans(12);
            if (row % 2) painter_.fillRect(left - 8, y - 3, mainWidth + 16, 24, theme_.field);
            text(f, theme_.text, left, y, p.name);
            if (row < int(std::size(kPeople))) {
                plant(f, theme_.text, left + int(columns[1] * mainWidth), y, "", "email", p.email);
                plant(f, theme_.text, left + int(columns[2] * mainWidth), y, "", "phone", p.phone);
                plant(f, theme_.text, left + int(columns[3] * mainWidth), y, "", "ssn", p.ssn);
                plant(f, theme_.text, left + int(columns[4] * mainWidth), y, "", "card", p.card);
            } else {
                text(f, theme_.secondary, left + int(columns[1] * mainWidth), y, lineWords(y, 2));
                text(f, theme_.secondary, left + int(columns[2] * mainWidth), y, lineWords(y, 1));
                text(f, theme_.secondary, left + int(columns[3] * mainWidth), y, lineWords(y, 1));
                text(f, theme_.secondary, left + int(columns[4] * mainWidth), y, lineWords(y, 2));
            }
            text(f, theme_.secondary, left + int(columns[5] * mainWidth), y, lineWords(y, 2));
            y += 24;
        }
        painter_.fillRect(left, y, mainWidth, 1, theme_.rule);
        y += 14;

        // A form with labelled fields in two columns.
        const int fieldWidth = mainWidth / 2 - 40;
        const int formTop = y;
        for (int i = 0; i < 4; ++i) {
            const Person& p = kPeople[i];
            const int x = left + (i % 2) * (mainWidth / 2);
            const int fy = formTop + (i / 2) * 58;
            text(sans(11), theme_.secondary, x, fy, i % 2 ? "IBAN" : "Server address");
            painter_.setPen(theme_.rule);
            painter_.setBrush(theme_.field);
            painter_.drawRoundedRect(QRect(x, fy + 16, fieldWidth, 30), 5, 5);
            if (i % 2)
                plant(mono(14), theme_.text, x + 10, fy + 23, "", "iban", p.iban);
            else
                plant(mono(14), theme_.text, x + 10, fy + 23, "", "ipv4", p.ip);
        }
        y = formTop + 2 * 58 + 10;

        // A terminal panel with log lines in a monospaced font, light on near-black.
        const int termX = left + mainWidth / 2 + 40;
        const int termW = mainWidth / 2 - 40;
        const int termTop = y;
        const int termH = std::min(h - termTop - 40, 7 * 20 + 16);
        painter_.fillRect(termX, termTop, termW, termH, QColor(24, 24, 27));
        for (int i = 0, ty = termTop + 8; ty + 18 < termTop + termH; ++i, ty += 20) {
            const Person& p = kPeople[(i + 3) % std::size(kPeople)];
            const QColor green(80, 220, 120);
            if (i % 2)
                plant(mono(13), green, termX + 10, ty, QStringLiteral("$ ssh deploy@"), "ipv4", p.ip);
            else
                plant(mono(13), QColor(210, 210, 210), termX + 10, ty, QStringLiteral("notify: "), "email", p.email);
        }
        y = std::max(y, termTop);

        // Paragraphs with data inline, in several sizes, and a coloured notice.
        int size = 11;
        int planted = 0;
        while (y < h - 60) {
            const QFont f = (planted % 2) ? liberation(size) : sans(size);
            const QFontMetrics m(f);
            const Person& p = kPeople[(planted + 2) % std::size(kPeople)];
            const QString prefix = lineWords(y, 3) + QStringLiteral(" call ");
            switch (planted % 4) {
            case 0:
                plant(f, theme_.text, left, y, prefix, "phone", p.phone);
                break;
            case 1:
                plant(f, theme_.text, left, y, lineWords(y, 2) + QStringLiteral(" mail "), "email", p.email);
                break;
            case 2:
                plant(f, theme_.text, left, y, lineWords(y, 2) + QStringLiteral(" ssn "), "ssn", p.ssn);
                break;
            default:
                plant(f, theme_.text, left, y, lineWords(y, 2) + QStringLiteral(" host "), "ipv4", p.ip);
                break;
            }
            if (y > termTop + termH + 8) text(f, theme_.text, left + mainWidth / 2, y, lineWords(y, 6));
            ++planted;
            y += m.height() + 8;
            size = size == 16 ? 11 : size + 1;
            if (planted == 5) {
                painter_.fillRect(left - 6, y - 4, mainWidth / 2, 28, theme_.accent);
                plant(sans(13, true), theme_.accentText, left, y + 2, "Card on file ", "card", "4000 0566 5566 5556");
                y += 36;
            }
        }
    }

private:
    QFont sans(int px, bool bold = false) const { return fontOf(QStringLiteral("DejaVu Sans"), px, bold); }
    QFont liberation(int px) const { return fontOf(QStringLiteral("Liberation Sans"), px); }
    QFont mono(int px) const { return fontOf(QStringLiteral("DejaVu Sans Mono"), px); }

    void text(const QFont& f, const QColor& c, int x, int y, const QString& s) { drawText(painter_, f, c, x, y, s); }

    // The words of the line at `y`: a variant of the screen draws about half its lines afresh, the
    // same half in every variant, and the other half as every other variant does.
    QString lineWords(int y, int count) {
        const bool fresh = variant_ != 0 && ((quint32(y) * 2654435761u) >> 15) & 1;
        return words(fresh ? fresh_ : rng_, count);
    }

    // Draws the prefix, then the item, and records where the item's glyphs lie.
    void plant(const QFont& f, const QColor& c, int x, int y, const QString& prefix, const QString& detector,
               const QString& item) {
        const int itemX = x + QFontMetrics(f).horizontalAdvance(prefix);
        if (!prefix.isEmpty()) drawText(painter_, f, c, x, y, prefix);
        planted_.push_back({detector, item, drawText(painter_, f, c, itemX, y, item)});
    }

    void button(int x, int y, const QString& label) {
        painter_.setPen(Qt::NoPen);
        painter_.setBrush(theme_.accent);
        painter_.drawRoundedRect(QRect(x, y, 84, 26), 6, 6);
        text(sans(13, true), theme_.accentText, x + 16, y + 5, label);
    }

    void badge(int x, int y, const QString& label, const QString& detector, const QString& item) {
        const QFont f = sans(12, true);
        const int width = QFontMetrics(f).horizontalAdvance(label) + 16;
        painter_.setPen(Qt::NoPen);
        painter_.setBrush(theme_.badge);
        painter_.drawRoundedRect(QRect(x, y, width, 22), 11, 11);
        const QString prefix = label.left(label.size() - item.size());
        plant(f, theme_.badgeText, x + 8, y + 4, prefix, detector, item);
    }

    QImage image_;
    Theme theme_;
    QRandomGenerator rng_;
    QRandomGenerator fresh_;
    quint32 variant_;
    QPainter painter_;
    std::vector<PlantedItem> planted_;
};

} // namespace

RenderedScreen renderPreview() {
    QImage image = blankImage(1400, 900);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient gradient(0, 0, 1400, 900);
    gradient.setColorAt(0, QColor(88, 86, 214));
    gradient.setColorAt(1, QColor(255, 45, 85));
    p.fillRect(image.rect(), gradient);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRect(200, 150, 1000, 600), 18, 18);

    RenderedScreen screen{QStringLiteral("preview-1400x900"), {}, {}};
    const QFont title = fontOf(QStringLiteral("DejaVu Sans"), 28, true);
    drawText(p, title, QColor(28, 28, 30), 260, 200, QStringLiteral("Account details"));
    const QFont mono = fontOf(QStringLiteral("DejaVu Sans Mono"), 22);
    const QColor ink(28, 28, 30);
    struct Line {
        const char* label;
        const char* detector;
        const char* value;
    };
    const Line lines[] = {
        {"Email:  ", "email", "jane.appleseed@example.com"},
        {"Phone:  ", "phone", "(555) 123-4567"},
        {"SSN:    ", "ssn", "078-05-1120"},
        {"Card:   ", "card", "4111 1111 1111 1111"},
        {"Server: ", "ipv4", "192.168.1.42"},
    };
    int y = 290;
    for (const Line& line : lines) {
        const QString label = QString::fromLatin1(line.label);
        drawText(p, mono, ink, 260, y, label);
        const int x = 260 + QFontMetrics(mono).horizontalAdvance(label);
        screen.planted.push_back({QString::fromLatin1(line.detector), QString::fromLatin1(line.value),
                                  drawText(p, mono, ink, x, y, QString::fromLatin1(line.value))});
        y += 70;
    }
    p.end();
    screen.image = image;
    return screen;
}

RenderedScreen renderTextDense(int width, int height, bool dark, quint32 variant) {
    DenseScreen screen(width, height, dark, variant);
    screen.draw();
    return screen.finish(QStringLiteral("dense-%1x%2-%3").arg(width).arg(height).arg(dark ? "dark" : "light"));
}

std::vector<RenderedScreen> allScreens() {
    return {renderPreview(), renderTextDense(1920, 1080, false), renderTextDense(1920, 1080, true),
            renderTextDense(2560, 1440, false), renderTextDense(2560, 1440, true)};
}

} // namespace DetectionBench
