#pragma once

#include <QWidget>

#include <optional>

namespace BrindlecastApp {

// A labelled filler for a slot of the editor that has nothing to show: the label in 12-point
// medium secondary text, centred, with 10 points above and below it, at least `minHeight` tall.
class EditorSlotPlaceholder : public QWidget {
    Q_OBJECT
public:
    EditorSlotPlaceholder(QString label, std::optional<double> minHeight = std::nullopt, QWidget* parent = nullptr);

    const QString& label() const { return label_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static inline const QString kRecentsLabel = QStringLiteral("Recents sidebar (#30)");

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont font() const;

    QString label_;
    std::optional<double> minHeight_;
};

} // namespace BrindlecastApp
