#pragma once

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

struct xcb_connection_t;

namespace BrindlecastApp {

// The three fixed global hot keys: Super+Shift+7 (region), Super+Shift+8 (window pick) and
// Super+Shift+9 (display). They are passive key grabs on the root window of the application's own
// X connection, one for every combination of CapsLock, NumLock and ScrollLock, so a lit lock key
// does not disable them. The grabbed presses arrive through Qt's native event filter and are
// handed on queued, after the event has been handled. Held until the object goes, which in the
// app is when the process ends.
class GlobalHotKeys : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    enum Id : int { display = 1, region = 2, windowPick = 3 };

    struct Binding {
        Id id;
        std::uint32_t keysym; // the digit's keysym; the key is found in the keyboard's mapping
        const char* name;     // for log lines
    };
    static const std::vector<Binding>& bindings(); // region, window pick, display

    // Modifier masks as the keyboard maps them today.
    struct Modifiers {
        std::uint16_t super = 0x40;   // Mod4 on nearly every keymap
        std::uint16_t numLock = 0x10; // Mod2
        std::uint16_t scrollLock = 0;  // unmapped on most keymaps
    };

    // Every mask to grab a hot key with: `base` with each subset of the lock modifiers that the
    // keyboard has (CapsLock always). No mask twice.
    static std::vector<std::uint16_t> grabMasks(std::uint16_t base, const Modifiers& modifiers);

    explicit GlobalHotKeys(QObject* parent = nullptr);
    ~GlobalHotKeys() override;

    // Grabs the keys on the application's X connection. Keys another client holds already are
    // logged once each; the tray menu still offers their commands. Returns the ids that were
    // grabbed: none when the application does not run on X11.
    std::vector<Id> registerKeys();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void pressed(int id);

private:
    struct Grab {
        Id id;
        std::uint32_t root;
        bool whole; // every lock combination is ours: no other client holds the key
    };

    // `atRoot`: the press came through the root's grab, not to a window of ours that holds the
    // keyboard; there only keys no other client holds count.
    std::optional<Id> match(std::uint8_t keycode, std::uint16_t state, std::uint32_t root, bool atRoot = true) const;

    xcb_connection_t* connection_ = nullptr;
    Modifiers modifiers_;
    QHash<std::uint8_t, std::vector<Grab>> grabs_; // by keycode
    QHash<std::uint8_t, std::uint32_t> lastRelease_; // time of each grabbed key's last release
    bool installed_ = false;
};

} // namespace BrindlecastApp
