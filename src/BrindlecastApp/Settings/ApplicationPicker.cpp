#include "BrindlecastApp/Settings/ApplicationPicker.h"

#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Settings/ApplicationIcons.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"
#include "CaptureKit/X11ScreenContentProvider.h"
#include "Support/Log.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>
#include <exception>

namespace BrindlecastApp {

namespace {

constexpr int kIDRole = Qt::UserRole;

} // namespace

ApplicationPicker::ApplicationPicker(std::vector<ApplicationEntry> entries, QWidget* parent)
    : QDialog(parent), filter_(new QLineEdit), list_(new QTreeWidget),
      block_(new GlassButton(tr("Block"), std::nullopt, GlassButton::Role::prominent, [this] { accept(); })) {
    setWindowTitle(tr("Block an Application"));
    setModal(true);
    resize(460, 420);
    if (parent) ThemedRoot::install(this, themeFor(parent));

    filter_->setPlaceholderText(tr("Search"));
    filter_->setFont(SettingsControlStyle::font(13));
    filter_->setClearButtonEnabled(true);
    list_->setColumnCount(2);
    list_->setHeaderLabels({tr("Application"), tr("ID")});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setIconSize(QSize(22, 22));
    list_->setFont(SettingsControlStyle::font(13));
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list_->header()->setStretchLastSection(false);
    // Icons are read on a worker (an entry's icon may be any file); the window symbol stands in.
    const qreal scale = devicePixelRatioF();
    const int pixels = int(std::ceil(list_->iconSize().width() * scale));
    const auto iconOf = [scale](const QImage& image) {
        QPixmap pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(scale);
        return QIcon(pixmap);
    };
    const QIcon placeholder = iconOf(ApplicationIcons::placeholder(pixels));
    for (const ApplicationEntry& entry : entries) {
        // Item texts are plain text in a model: names and IDs are never read as markup.
        auto* item = new QTreeWidgetItem(list_, {entry.name, entry.id});
        item->setIcon(0, placeholder);
        item->setData(0, kIDRole, entry.id);
        item->setToolTip(0, entry.id);
        // The items live as long as the list.
        ApplicationIcons::shared().request(entry.iconName, pixels, list_,
                                           [item, iconOf](const QImage& image) { item->setIcon(0, iconOf(image)); });
    }

    auto* cancel = new GlassButton(tr("Cancel"), std::nullopt, GlassButton::Role::plain, [this] { reject(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(block_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(10);
    layout->addWidget(filter_);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);

    block_->setEnabled(false);
    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            [this] { block_->setEnabled(!list_->selectedItems().isEmpty()); });
    connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem*) { accept(); });
    connect(filter_, &QLineEdit::textChanged, this, &ApplicationPicker::applyFilter);
    filter_->setFocus();
}

void ApplicationPicker::applyFilter(const QString& text) {
    const QString needle = text.trimmed();
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        const bool matches = needle.isEmpty() || item->text(0).contains(needle, Qt::CaseInsensitive)
                             || item->text(1).contains(needle, Qt::CaseInsensitive);
        item->setHidden(!matches);
        if (!matches && item->isSelected()) item->setSelected(false);
    }
}

std::optional<QString> ApplicationPicker::chosenID() const {
    if (result() != QDialog::Accepted) return std::nullopt;
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty() || selected.first()->isHidden()) return std::nullopt;
    return selected.first()->data(0, kIDRole).toString();
}

std::vector<CaptureKit::WindowInfo> ApplicationPicker::onScreenWindows() {
    try {
        return CaptureKit::X11ScreenContentProvider().shareableContent().windows;
    } catch (const std::exception& error) {
        // No display, or it failed: the installed applications are still offered.
        Support::Log::write("app.brindlecast", "settings", Support::LogLevel::info,
                            QString("no on-screen applications for the picker: %1").arg(error.what()));
        return {};
    }
}

std::optional<QString> ApplicationPicker::choose(QWidget* parent) {
    const ApplicationCatalog catalog = ApplicationCatalog::loadStandard();
    ApplicationPicker picker(catalog.pickable(onScreenWindows()), parent);
    picker.exec();
    return picker.chosenID();
}

} // namespace BrindlecastApp
