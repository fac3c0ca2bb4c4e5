#pragma once

#include "BrindlecastApp/Library/CaptureEntry.h"

#include <QDateTime>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>

class QScrollArea;
class QVBoxLayout;

namespace BrindlecastApp {

class CaptureLibrary;
class EditorSelection;
class RecentRow;

// The editor's list of recent captures, newest first, under the heading "RECENT" with their
// count: one row per library entry, the window's selected entry highlighted. A click on a row
// selects it (also when it is selected already) and hands it to `onSelect`, when there is one.
// The list follows the library as it changes, and a row repaints when its thumbnail arrives.
class RecentsSidebar : public QWidget {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    RecentsSidebar(CaptureLibrary& library, EditorSelection& selection,
                   std::function<void(const CaptureEntry&)> onSelect, QWidget* parent = nullptr);

    // The time the rows' labels are relative to; the current time unless set.
    void setClock(Clock clock);

    QList<RecentRow*> rows() const;
    // The count in the header.
    QString countText() const;
    // "No captures yet" shows instead of the list.
    bool showsEmptyState() const;

    static inline const QString kHeading = QStringLiteral("RECENT");
    static inline const QString kEmpty = QStringLiteral("No captures yet");

private:
    void rebuild();
    void refreshSelection();
    void refreshThumbnail(const QUrl& url);
    void choose(const CaptureEntry& entry);

    QPointer<CaptureLibrary> library_;
    QPointer<EditorSelection> selection_;
    std::function<void(const CaptureEntry&)> onSelect_;
    Clock clock_;
    QWidget* count_;
    QWidget* empty_;
    QScrollArea* scroll_;
    QVBoxLayout* list_;
    QList<QPointer<RecentRow>> rows_;
};

} // namespace BrindlecastApp
