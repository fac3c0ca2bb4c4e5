#include "BrindlecastApp/Shell/GlobalHotKeys.h"

#include "BrindlecastApp/Logging/AppLog.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace BrindlecastApp {

namespace {

constexpr std::uint32_t keysymSuperL = 0xffeb;
constexpr std::uint32_t keysymSuperR = 0xffec;
constexpr std::uint32_t keysymNumLock = 0xff7f;
constexpr std::uint32_t keysymScrollLock = 0xff14;
constexpr std::uint16_t modifierBits = 0xff; // the eight modifiers; the rest of `state` are buttons

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

// The keyboard's keysyms, keycode by keycode.
class KeyboardMapping {
public:
    explicit KeyboardMapping(xcb_connection_t* c) : reply_(nullptr, &std::free) {
        const xcb_setup_t* setup = xcb_get_setup(c);
        min_ = setup->min_keycode;
        const int count = setup->max_keycode - setup->min_keycode + 1;
        reply_.reset(xcb_get_keyboard_mapping_reply(
            c, xcb_get_keyboard_mapping(c, setup->min_keycode, static_cast<std::uint8_t>(count)), nullptr));
        if (!reply_) return;
        syms_ = xcb_get_keyboard_mapping_keysyms(reply_.get());
        length_ = xcb_get_keyboard_mapping_keysyms_length(reply_.get());
        perKeycode_ = reply_->keysyms_per_keycode;
    }

    bool holds(std::uint8_t keycode, std::uint32_t keysym) const {
        if (!reply_ || keycode < min_ || perKeycode_ == 0) return false;
        const int first = (keycode - min_) * perKeycode_;
        for (int i = 0; i < perKeycode_ && first + i < length_; ++i)
            if (syms_[first + i] == keysym) return true;
        return false;
    }

    // The first keycode that produces `keysym`, unshifted keys first.
    std::optional<std::uint8_t> keycodeFor(std::uint32_t keysym) const {
        if (!reply_ || perKeycode_ == 0) return std::nullopt;
        for (int column = 0; column < perKeycode_; ++column)
            for (int index = column; index < length_; index += perKeycode_)
                if (syms_[index] == keysym) return static_cast<std::uint8_t>(min_ + index / perKeycode_);
        return std::nullopt;
    }

private:
    Reply<xcb_get_keyboard_mapping_reply_t> reply_;
    const xcb_keysym_t* syms_ = nullptr;
    int length_ = 0;
    int perKeycode_ = 0;
    int min_ = 0;
};

GlobalHotKeys::Modifiers readModifiers(xcb_connection_t* c, const KeyboardMapping& keyboard) {
    GlobalHotKeys::Modifiers found;
    Reply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr), &std::free);
    if (!mapping) return found;
    found.scrollLock = 0;
    bool superFound = false, numLockFound = false;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    // Shift, Lock and Control are fixed; Mod1 to Mod5 are whatever the keymap puts there.
    for (int modifier = 3; modifier < 8; ++modifier) {
        const auto mask = static_cast<std::uint16_t>(1u << modifier);
        for (int k = 0; k < perModifier; ++k) {
            const xcb_keycode_t code = codes[modifier * perModifier + k];
            if (code == 0) continue;
            if (!superFound && (keyboard.holds(code, keysymSuperL) || keyboard.holds(code, keysymSuperR))) {
                found.super = mask;
                superFound = true;
            }
            if (!numLockFound && keyboard.holds(code, keysymNumLock)) {
                found.numLock = mask;
                numLockFound = true;
            }
            if (!found.scrollLock && keyboard.holds(code, keysymScrollLock)) found.scrollLock = mask;
        }
    }
    if (!numLockFound) found.numLock = 0;
    return found;
}

xcb_connection_t* applicationConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace

const std::vector<GlobalHotKeys::Binding>& GlobalHotKeys::bindings() {
    static const std::vector<Binding> table{
        {region, '7', "Super+Shift+7 (capture region)"},
        {windowPick, '8', "Super+Shift+8 (capture window)"},
        {display, '9', "Super+Shift+9 (capture display)"},
    };
    return table;
}

std::vector<std::uint16_t> GlobalHotKeys::grabMasks(std::uint16_t base, const Modifiers& modifiers) {
    std::vector<std::uint16_t> locks{XCB_MOD_MASK_LOCK};
    for (const std::uint16_t lock : {modifiers.numLock, modifiers.scrollLock})
        if (lock && std::find(locks.begin(), locks.end(), lock) == locks.end() && !(lock & base)) locks.push_back(lock);
    std::vector<std::uint16_t> masks;
    for (unsigned subset = 0; subset < (1u << locks.size()); ++subset) {
        std::uint16_t mask = base;
        for (std::size_t i = 0; i < locks.size(); ++i)
            if (subset & (1u << i)) mask |= locks[i];
        if (std::find(masks.begin(), masks.end(), mask) == masks.end()) masks.push_back(mask);
    }
    return masks;
}

GlobalHotKeys::GlobalHotKeys(QObject* parent) : QObject(parent) {}

GlobalHotKeys::~GlobalHotKeys() {
    if (installed_ && QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(this);
    if (!connection_ || connection_ != applicationConnection()) return;
    for (auto it = grabs_.cbegin(); it != grabs_.cend(); ++it)
        for (const Grab& grab : it.value())
            for (const std::uint16_t mask : grabMasks(XCB_MOD_MASK_SHIFT | modifiers_.super, modifiers_))
                xcb_ungrab_key(connection_, it.key(), grab.root, mask);
    xcb_flush(connection_);
}

std::vector<GlobalHotKeys::Id> GlobalHotKeys::registerKeys() {
    std::vector<Id> registered;
    connection_ = applicationConnection();
    if (!connection_) {
        appLog().notice("global hot keys: not an X11 session; use the tray menu to capture");
        return registered;
    }
    const KeyboardMapping keyboard(connection_);
    modifiers_ = readModifiers(connection_, keyboard);
    const std::vector<std::uint16_t> masks = grabMasks(XCB_MOD_MASK_SHIFT | modifiers_.super, modifiers_);

    std::vector<xcb_window_t> roots;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection_)); it.rem; xcb_screen_next(&it))
        roots.push_back(it.data->root);

    for (const Binding& binding : bindings()) {
        const std::optional<std::uint8_t> keycode = keyboard.keycodeFor(binding.keysym);
        if (!keycode) {
            appLog().error(QString("global hot key %1: the keyboard has no such key").arg(binding.name));
            continue;
        }
        // Not owner events: a press over one of our own windows still goes to the root, where
        // the filter below looks for it.
        std::vector<xcb_void_cookie_t> cookies;
        for (const xcb_window_t root : roots)
            for (const std::uint16_t mask : masks)
                cookies.push_back(xcb_grab_key_checked(connection_, 0, root, mask, *keycode, XCB_GRAB_MODE_ASYNC,
                                                       XCB_GRAB_MODE_ASYNC));
        bool taken = false;
        for (const xcb_void_cookie_t cookie : cookies)
            if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
                taken = true;
                std::free(error);
            }
        for (const xcb_window_t root : roots) grabs_[*keycode].push_back({binding.id, root, !taken});
        if (taken)
            appLog().error(QString("global hot key %1 is taken by another application; the tray menu still "
                                     "offers the command")
                                 .arg(binding.name));
        else
            registered.push_back(binding.id);
    }
    if (!installed_) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        installed_ = true;
    }
    return registered;
}

std::optional<GlobalHotKeys::Id> GlobalHotKeys::match(std::uint8_t keycode, std::uint16_t state, std::uint32_t root,
                                                      bool atRoot) const {
    const auto grabs = grabs_.constFind(keycode);
    if (grabs == grabs_.cend()) return std::nullopt;
    const std::uint16_t locks = XCB_MOD_MASK_LOCK | modifiers_.numLock | modifiers_.scrollLock;
    if ((state & modifierBits & ~locks) != (XCB_MOD_MASK_SHIFT | modifiers_.super)) return std::nullopt;
    for (const Grab& grab : *grabs)
        if (grab.root == root && (atRoot || grab.whole)) return grab.id;
    return std::nullopt;
}

bool GlobalHotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || grabs_.isEmpty()) return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
    // Press and release share one layout.
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    // The combination usually comes to the root through its grab; while one of our own windows
    // holds the keyboard (the selection overlay, a menu), the server hands it to that window
    // instead, and it is still the hot key (unless another client holds it when we do not).
    const std::optional<Id> id = match(key->detail, key->state, key->root, key->event == key->root);
    if (!id) return false;
    if (type == XCB_KEY_RELEASE) {
        lastRelease_[key->detail] = key->time;
        return true;
    }
    // The server repeats a held key as a release and a press with the same time stamp.
    if (key->time != 0 && lastRelease_.value(key->detail) == key->time) return true;
    const int pressedId = *id;
    QMetaObject::invokeMethod(this, [this, pressedId] { emit pressed(pressedId); }, Qt::QueuedConnection);
    return true;
}

} // namespace BrindlecastApp
