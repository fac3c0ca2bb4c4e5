#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

class QVBoxLayout;

namespace BrindlecastApp {

class Hairline;

// Groups a section's rows on a faint rounded plate with a thin border; the rows touch, with a
// hairline between each two. The card adds no margin: rows bring their own.
class SettingsCard : public QWidget {
    Q_OBJECT
public:
    explicit SettingsCard(QWidget* parent = nullptr);

    // Shows `rows`, top to bottom, with a hairline between each two. Rows shown before and not
    // given again are deleted once control returns to the event loop (one of them may be the
    // button whose click led here); rows given again, and rows their owner took back (gave
    // another parent), are kept as they are. Only the rows that differ from the last call are
    // taken out or put in, and the card is laid out once, so a long list costs what changed.
    // A row that goes takes the keyboard focus to the card rather than passing it on to the next
    // control, which would scroll the page to that control.
    void setRows(const QList<QWidget*>& rows);
    const QList<QPointer<QWidget>>& rows() const { return rows_; }
    int hairlineCount() const { return int(hairlines_.size()); }

    // Black 0.025 in the light scheme, white 0.045 in the dark.
    QColor background() const;
    // Black 0.08 in the light scheme, white 0.10 in the dark.
    QColor border() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool shows(const QList<QWidget*>& rows) const;

    QVBoxLayout* layout_;
    QList<QPointer<QWidget>> rows_;
    QList<Hairline*> hairlines_;
};

} // namespace BrindlecastApp
