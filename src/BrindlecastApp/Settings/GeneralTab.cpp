#include "BrindlecastApp/Settings/GeneralTab.h"

#include "BrindlecastApp/Channel/Channel.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/SchemePopup.h"
#include "BrindlecastApp/Design/Tokens.h"
#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Design/IconView.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "BrindlecastApp/Settings/SettingsCard.h"
#include "BrindlecastApp/Settings/SettingsCheckRow.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"
#include "Support/Folders.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <span>

namespace BrindlecastApp {

namespace {

constexpr int kSectionSpacing = 22;

std::optional<QString> chooseFolder(QWidget* parent, const QString& start) {
    QFileDialog dialog(parent);
    // A window of its own, which takes no palette from the settings window.
    SchemePopup::follow(dialog, parent);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setDirectory(start);
    dialog.setLabelText(QFileDialog::Accept, GeneralTab::tr("Choose"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

// One of the capture options: its row's title and the setting it shows and writes, as plain
// functions, which each row's action copies.
struct CaptureOption {
    const char* title;
    bool (*isOn)(const AppSettings&);
    void (*setOn)(AppSettings&, bool);
};

// The capture options in the order the page lists them.
std::span<const CaptureOption> captureOptions() {
    static const CaptureOption options[] = {
        {QT_TR_NOOP("Open editor after capture"), [](const AppSettings& s) { return s.openEditorAfterCapture(); },
         [](AppSettings& s, bool on) { s.setOpenEditorAfterCapture(on); }},
        {QT_TR_NOOP("Show floating thumbnail after capture"), [](const AppSettings& s) { return s.showFloatingThumbnail(); },
         [](AppSettings& s, bool on) { s.setShowFloatingThumbnail(on); }},
        {QT_TR_NOOP("Copy to clipboard automatically"),
         [](const AppSettings& s) { return s.copyToClipboardAutomatically(); },
         [](AppSettings& s, bool on) { s.setCopyToClipboardAutomatically(on); }},
        {QT_TR_NOOP("Play capture sound"), [](const AppSettings& s) { return s.playCaptureSound(); },
         [](AppSettings& s, bool on) { s.setPlayCaptureSound(on); }},
        {QT_TR_NOOP("Show screenshots sidebar"), [](const AppSettings& s) { return s.showScreenshotsSidebar(); },
         [](AppSettings& s, bool on) { s.setShowScreenshotsSidebar(on); }},
        {QT_TR_NOOP("Remember last used tool"), [](const AppSettings& s) { return s.rememberLastUsedTool(); },
         [](AppSettings& s, bool on) { s.setRememberLastUsedTool(on); }},
    };
    return options;
}

} // namespace

bool GeneralTab::startAtLoginLocked(const PolicyKit::EffectivePolicy& policy) {
    return policy.lockAgent && policy.source(PolicyKit::PolicyKey::lockAgent) == PolicyKit::PolicySource::managed;
}

QString GeneralTab::abbreviatedPath(const QString& folder) {
    const QString home = Support::Folders::home();
    if (folder == home) return "~";
    if (folder.startsWith(home + "/")) return "~" + folder.mid(home.size());
    return folder;
}

GeneralTab::GeneralTab(AppSettings* settings, PolicyResolver resolvePolicy, ForcedKeyReader isForced, FolderChooser chooser,
                       QWidget* parent)
    : QWidget(parent), settings_(settings), resolvePolicy_(std::move(resolvePolicy)), isForced_(std::move(isForced)),
      chooser_(chooser ? std::move(chooser) : FolderChooser(&chooseFolder)) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(kSectionSpacing);

    // The row shows the real autostart entry, so its action asks for the opposite of what it shows.
    loginRow_ = new SettingsCheckRow(tr("Start Brindlecast at login"), false, false,
                                     [this] { settings_->setStartAtLogin(!loginRow_->isOn()); });
    auto* startup = new SettingsCard;
    startup->setRows({loginRow_});
    page->addWidget(makeSettingsSection(tr("STARTUP"), startup));

    updatesSection_ = makeSettingsSection(tr("UPDATES"), updatesCard());
    updatesSection_->installEventFilter(this);
    page->addWidget(updatesSection_);

    auto* library = new SettingsCard;
    library->setRows({libraryRow()});
    page->addWidget(makeSettingsSection(tr("LIBRARY"), library));

    QList<QWidget*> rows;
    for (const CaptureOption& option : captureOptions()) {
        const auto isOn = option.isOn;
        const auto setOn = option.setOn;
        auto* row = new SettingsCheckRow(tr(option.title), isOn(*settings_), false,
                                         [this, isOn, setOn] { setOn(*settings_, !isOn(*settings_)); });
        captureRows_ << row;
        rows << row;
    }
    auto* capture = new SettingsCard;
    capture->setRows(rows);
    page->addWidget(makeSettingsSection(tr("CAPTURE"), capture));
    page->addStretch(1);

    connect(settings_, &AppSettings::changed, this, &GeneralTab::refresh);
    refresh();
}

QWidget* GeneralTab::updatesCard() {
    // Each row asks for the opposite of what it shows.
    checksRow_ = new SettingsCheckRow(tr("Check for updates automatically"), false, false, [this] {
        writeUpdateSwitch(&UpdateProvider::setAutomaticallyChecksForUpdates, !checksRow_->isOn());
    });
    updatesRow_ = new SettingsCheckRow(tr("Download and install updates automatically"), false, false, [this] {
        writeUpdateSwitch(&UpdateProvider::setAutomaticallyDownloadsUpdates, !updatesRow_->isOn());
    });
    auto* card = new SettingsCard;
    card->setRows({checksRow_, updatesRow_});
    return card;
}

void GeneralTab::writeUpdateSwitch(void (UpdateProvider::*set)(bool), bool on) {
    if (const std::shared_ptr<UpdateProvider> updater = Channel::current().updater) (updater.get()->*set)(on);
    // The rows show what the updater reports now: one that ignored the write leaves them as they were.
    readUpdateSwitches();
}

void GeneralTab::readUpdateSwitches() {
    const std::shared_ptr<UpdateProvider> updater = Channel::current().updater;
    if (!updater) return;
    checksRow_->setOn(updater->automaticallyChecksForUpdates());
    updatesRow_->setOn(updater->automaticallyDownloadsUpdates());
}

bool GeneralTab::eventFilter(QObject* watched, QEvent* event) {
    // Read again whenever the section comes on screen: the updater may have changed them itself.
    if (watched == updatesSection_ && event->type() == QEvent::Show) readUpdateSwitches();
    return QWidget::eventFilter(watched, event);
}

QWidget* GeneralTab::libraryRow() {
    auto* row = new QWidget;
    row->setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(12);
    layout->addWidget(new SettingsIconTile(Icon::Glyph::folder, 22, 40, 9, SettingsIconTile::Ink::accent));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(makeSettingsText(tr("Library Location"), SettingsControlStyle::font(13, QFont::DemiBold),
                                      TextLabel::Tone::primary));
    libraryPath_ = makeSettingsText(QString(), SettingsControlStyle::font(12), TextLabel::Tone::secondary);
    texts->addWidget(libraryPath_);
    layout->addLayout(texts, 1);
    layout->addSpacing(12);
    change_ = new GlassButton(tr("Change…"), std::nullopt, GlassButton::Role::plain, [this] { chooseLibrary(); });
    layout->addWidget(change_);
    return row;
}

QString GeneralTab::nearestExistingFolder(const QString& folder) {
    QString candidate = QDir::cleanPath(folder);
    while (!candidate.isEmpty() && !QFileInfo(candidate).isDir()) {
        const QString parent = QFileInfo(candidate).path();
        if (parent == candidate) break;
        candidate = parent;
    }
    return QFileInfo(candidate).isDir() ? candidate : QDir::homePath();
}

void GeneralTab::chooseLibrary() {
    // The folder is neither created nor checked here: the first capture or "Show Screenshots
    // Folder" creates it. Until then the panel opens where it will be.
    const QString start = nearestExistingFolder(settings_->libraryLocation());
    if (const std::optional<QString> folder = chooser_(window(), start); folder && !folder->isEmpty())
        settings_->setLibraryLocation(*folder);
}

void GeneralTab::refresh() {
    const bool locked = resolvePolicy_ && startAtLoginLocked(resolvePolicy_());
    loginRow_->setLocked(locked);
    loginRow_->setOn(locked || settings_->startAtLogin());
    const std::shared_ptr<UpdateProvider> updater = Channel::current().updater;
    updatesSection_->setVisible(updater && updater->supportsAutoUpdateSettings());
    // A forced key only locks its row; the row keeps showing what the updater reports.
    checksRow_->setLocked(isForced_ && isForced_(kAutomaticChecksKey));
    updatesRow_->setLocked(isForced_ && isForced_(kAutomaticUpdatesKey));
    const std::span<const CaptureOption> options = captureOptions();
    for (qsizetype i = 0; i < captureRows_.size(); ++i) captureRows_[i]->setOn(options[size_t(i)].isOn(*settings_));
    const QString path = abbreviatedPath(settings_->libraryLocation());
    if (libraryPath_->text() != path) {
        // TextLabel holds its text from construction: put a new one in its place.
        TextLabel* label = makeSettingsText(path, SettingsControlStyle::font(12), TextLabel::Tone::secondary);
        libraryPath_->parentWidget()->layout()->replaceWidget(libraryPath_, label);
        libraryPath_->deleteLater();
        libraryPath_ = label;
    }
}

} // namespace BrindlecastApp
