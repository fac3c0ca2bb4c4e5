#include "BrindlecastApp/Editor/RecentsSidebar.h"

#include "BrindlecastApp/Design/TabularDigits.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Editor/EditorSelection.h"
#include "BrindlecastApp/Editor/RecentRow.h"
#include "BrindlecastApp/Library/CaptureLibrary.h"
#include "Support/Fonts.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

namespace BrindlecastApp {

namespace {

// A line of secondary text; its opacity lets the count sit a little quieter than the heading,
// whose figures take one width so that it does not shift as it grows.
class SidebarText : public QWidget {
public:
    SidebarText(QString text, QFont font, double opacity, QWidget* parent, bool tabular = false)
        : QWidget(parent), text_(std::move(text)), font_(std::move(font)), opacity_(opacity), tabular_(tabular) {
        setAttribute(Qt::WA_TranslucentBackground);
    }
    const QString& text() const { return text_; }
    void setText(const QString& text) {
        text_ = text;
        updateGeometry();
        update();
    }
    QSize sizeHint() const override {
        const QFontMetricsF metrics(font_);
        const double advance = tabular_ ? TabularDigits::horizontalAdvance(font_, text_) : metrics.horizontalAdvance(text_);
        return {int(std::ceil(advance)) + 1, int(std::ceil(metrics.height()))};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setFont(font_);
        painter.setPen(Design::withOpacity(tokensFor(this).secondaryText(), opacity_));
        if (tabular_) TabularDigits::draw(painter, rect(), text_, Qt::AlignHCenter);
        else painter.drawText(rect(), Qt::AlignCenter, text_);
    }

private:
    QString text_;
    QFont font_;
    double opacity_;
    bool tabular_;
};

QFont headingFont() {
    QFont font = Support::Fonts::interfaceFont(11, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    return font;
}

} // namespace

RecentsSidebar::RecentsSidebar(CaptureLibrary& library, EditorSelection& selection,
                               std::function<void(const CaptureEntry&)> onSelect, QWidget* parent)
    : QWidget(parent), library_(&library), selection_(&selection), onSelect_(std::move(onSelect)),
      clock_([] { return QDateTime::currentDateTime(); }) {
    setObjectName(QStringLiteral("recentsSidebar"));
    setAttribute(Qt::WA_TranslucentBackground);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(16, 14, 16, 8);
    header->addWidget(new SidebarText(kHeading, headingFont(), 1, this));
    header->addStretch(1);
    count_ = new SidebarText(QString(), Support::Fonts::interfaceFont(11, QFont::Medium), 0.85, this, true);
    count_->setObjectName(QStringLiteral("recentsCount"));
    header->addWidget(count_);
    column->addLayout(header);

    // "No captures yet", centred in what is left with 40 points below it; hidden as a whole.
    empty_ = new QWidget(this);
    auto* emptyHolder = new QVBoxLayout(empty_);
    emptyHolder->setContentsMargins(0, 0, 0, 40);
    auto* emptyText = new SidebarText(kEmpty, Support::Fonts::interfaceFont(12, QFont::Medium), 1, empty_);
    emptyText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    emptyHolder->addWidget(emptyText);
    column->addWidget(empty_, 1);

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget;
    list_ = new QVBoxLayout(content);
    list_->setContentsMargins(5, 0, 5, 12);
    list_->setSpacing(3);
    list_->addStretch(1);
    scroll_->setWidget(content);
    // The glass shows through the list: neither the viewport nor the list fills itself.
    scroll_->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    column->addWidget(scroll_, 1);

    connect(&library, &CaptureLibrary::entriesChanged, this, &RecentsSidebar::rebuild);
    connect(&library, &CaptureLibrary::thumbnailReady, this, &RecentsSidebar::refreshThumbnail);
    connect(&selection, &EditorSelection::entryChanged, this, &RecentsSidebar::refreshSelection);
    rebuild();
}

void RecentsSidebar::setClock(Clock clock) {
    clock_ = std::move(clock);
    rebuild();
}

QList<RecentRow*> RecentsSidebar::rows() const {
    QList<RecentRow*> rows;
    for (const QPointer<RecentRow>& row : rows_)
        if (row) rows << row.data();
    return rows;
}

QString RecentsSidebar::countText() const { return static_cast<SidebarText*>(count_)->text(); }

bool RecentsSidebar::showsEmptyState() const { return !empty_->isHidden(); }

void RecentsSidebar::rebuild() {
    if (!library_) return;
    for (const QPointer<RecentRow>& row : rows_)
        if (row) {
            row->hide();
            row->deleteLater(); // a row may be the one whose click led here
        }
    rows_.clear();
    const QList<CaptureEntry>& entries = library_->entries();
    static_cast<SidebarText*>(count_)->setText(QString::number(entries.size()));
    empty_->setVisible(entries.isEmpty());
    scroll_->setVisible(!entries.isEmpty());

    const QDateTime now = clock_();
    const std::optional<CaptureEntry> selected = selection_ ? selection_->entry() : std::nullopt;
    for (const CaptureEntry& entry : entries) {
        auto* row = new RecentRow(entry, CaptureLibrary::relativeTime(entry.timestamp, now), selected == entry);
        connect(row, &QAbstractButton::clicked, this, [this, row] { choose(row->entry()); });
        list_->insertWidget(list_->count() - 1, row);
        rows_ << row;
    }
}

void RecentsSidebar::refreshSelection() {
    const std::optional<CaptureEntry> selected = selection_ ? selection_->entry() : std::nullopt;
    for (RecentRow* row : rows()) row->setSelected(selected == row->entry());
}

void RecentsSidebar::refreshThumbnail(const QUrl& url) {
    if (!library_) return;
    for (const CaptureEntry& entry : library_->entries()) {
        if (entry.url != url) continue;
        for (RecentRow* row : rows())
            if (row->entry().url == url) row->setEntry(entry);
        return;
    }
}

void RecentsSidebar::choose(const CaptureEntry& entry) {
    if (selection_) selection_->setEntry(entry);
    if (onSelect_) onSelect_(entry);
}

} // namespace BrindlecastApp
