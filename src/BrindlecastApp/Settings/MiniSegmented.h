#pragma once

#include "BrindlecastApp/Settings/SettingsControlStyle.h"

#include <QList>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

namespace BrindlecastApp {

// The small segmented control of the settings pages: text segments on a rounded track, the
// segments marked selected drawn raised. It keeps no choice of its own: a click reports the
// segment, and the owner stores the value and renders the control again. A locked control is
// dimmed and reacts to nothing. The untyped half; MiniSegmented<T> maps segments to values.
class MiniSegmentedView : public QWidget {
    Q_OBJECT
public:
    explicit MiniSegmentedView(QWidget* parent = nullptr);

    int count() const { return int(labels_.size()); }
    const QStringList& labels() const { return labels_; }
    bool isSegmentSelected(int index) const { return selected_.value(index, false); }
    bool isLocked() const { return locked_; }
    // Where segment `index` is drawn, in the control's coordinates.
    QRectF segmentRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    // A click on segment `index`, also on one already selected.
    void segmentClicked(int index);

protected:
    void setSegments(QStringList labels, QList<bool> selected);
    void setLockedState(bool locked);
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QList<QRectF> segments() const;
    int segmentAt(const QPointF& point) const;

    QStringList labels_;
    QList<bool> selected_;
    bool locked_ = false;
    int pressed_ = -1;
    ShapeShadow plateShadow_;
};

// MiniSegmented over values of an equality-comparable type: a segment is selected when its value
// equals `selected` (several may be), and a click calls `onSelect` with the segment's value.
template <typename T>
class MiniSegmented : public MiniSegmentedView {
public:
    using Option = std::pair<QString, T>;

    MiniSegmented(std::vector<Option> options, T selected, bool locked, std::function<void(const T&)> onSelect,
                  QWidget* parent = nullptr)
        : MiniSegmentedView(parent), options_(std::move(options)), selected_(std::move(selected)),
          onSelect_(std::move(onSelect)) {
        setLockedState(locked);
        render();
        connect(this, &MiniSegmentedView::segmentClicked, this, [this](int index) {
            if (onSelect_ && index >= 0 && index < int(options_.size())) onSelect_(options_[size_t(index)].second);
        });
    }

    const T& selected() const { return selected_; }
    // The owner's new value, drawn at once.
    void setSelected(T value) {
        selected_ = std::move(value);
        render();
    }
    void setLocked(bool locked) { setLockedState(locked); }

private:
    void render() {
        QStringList labels;
        QList<bool> selected;
        for (const Option& option : options_) {
            labels << option.first;
            selected << (option.second == selected_);
        }
        setSegments(labels, selected);
    }

    std::vector<Option> options_;
    T selected_;
    std::function<void(const T&)> onSelect_;
};

} // namespace BrindlecastApp
