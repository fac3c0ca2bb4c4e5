#pragma once

#include "BrindlecastApp/Library/CaptureEntry.h"

#include <QAbstractButton>

namespace BrindlecastApp {

class SpringHover;

// One capture in the recents sidebar: its thumbnail (54 x 34 points, cropped to cover), its file
// name truncated in the middle and the time it was taken. Selected, it sits on the accent colour;
// hovered, on a faint tint that fades in and out with the quick spring. A click anywhere on it
// counts.
class RecentRow : public QAbstractButton {
    Q_OBJECT
public:
    RecentRow(CaptureEntry entry, QString relativeTime, bool isSelected, QWidget* parent = nullptr);

    const CaptureEntry& entry() const { return entry_; }
    // The same file with a new thumbnail (or anything else read again).
    void setEntry(CaptureEntry entry);
    const QString& relativeTime() const { return relativeTime_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    bool isHovering() const;
    // The fill behind the row now; transparent when it has none.
    QColor background() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Radii nested in the window's: the row sits 8 then 5 points in, the thumbnail 3 more; never
    // below 3 points.
    static double rowRadius(double windowRadius);
    static double thumbnailRadius(double windowRadius);
    static constexpr QSizeF kThumbnailSize{54, 34};

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintThumbnail(QPainter& painter, const QRectF& box, double radius) const;

    CaptureEntry entry_;
    QString relativeTime_;
    bool selected_;
    SpringHover* hover_;
};

} // namespace BrindlecastApp
