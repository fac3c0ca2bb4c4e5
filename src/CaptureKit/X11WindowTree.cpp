#include "CaptureKit/X11WindowTree.h"

#include <QHash>

#include <unistd.h>

#include <algorithm>
#include <climits>

namespace CaptureKit {

namespace {

struct ClientProperties {
    WindowIdentityProperties identity;
    std::optional<std::uint32_t> pid;
    std::optional<QString> machine;
    xcb_window_t transientFor = XCB_NONE;
    bool onCurrentDesktop = true;
    bool hidden = false;
    bool keepAbove = false;
    bool overlayType = false;
};

QString hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return QString::fromLocal8Bit(name);
}

// The reads of one window's properties, all asked for at once.
struct PropertyReads {
    PropertyReads(X11Connection& x, xcb_window_t w)
        : gtkApplicationID(x, w, "_GTK_APPLICATION_ID"), kdeDesktopFile(x, w, "_KDE_NET_WM_DESKTOP_FILE"),
          windowClass(x, w, XCB_ATOM_WM_CLASS), pid(x, w, "_NET_WM_PID"), machine(x, w, "WM_CLIENT_MACHINE"),
          transientFor(x, w, "WM_TRANSIENT_FOR"), desktop(x, w, "_NET_WM_DESKTOP"), state(x, w, "_NET_WM_STATE"),
          types(x, w, "_NET_WM_WINDOW_TYPE") {}
    PendingProperty gtkApplicationID, kdeDesktopFile, windowClass, pid, machine, transientFor, desktop, state, types;
};

ClientProperties readProperties(X11Connection& x, PropertyReads& reads, std::optional<std::uint32_t> currentDesktop) {
    ClientProperties p;
    p.identity.gtkApplicationID = reads.gtkApplicationID.text();
    p.identity.kdeDesktopFile = reads.kdeDesktopFile.text();
    p.identity.windowClass = reads.windowClass.windowClass();
    p.pid = reads.pid.value();
    p.machine = reads.machine.text();
    if (auto transient = reads.transientFor.value()) p.transientFor = *transient;
    if (auto desktop = reads.desktop.value(); desktop && currentDesktop)
        p.onCurrentDesktop = *desktop == 0xFFFFFFFFu || *desktop == *currentDesktop;

    const std::vector<xcb_atom_t> state = reads.state.values();
    auto hasState = [&](const char* name) {
        const xcb_atom_t atom = x.atom(name);
        return atom != XCB_ATOM_NONE && std::find(state.begin(), state.end(), atom) != state.end();
    };
    p.hidden = hasState("_NET_WM_STATE_HIDDEN");
    p.keepAbove = hasState("_NET_WM_STATE_ABOVE");

    const std::vector<xcb_atom_t> types = reads.types.values();
    for (const char* overlay : {"_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DOCK",
                                "_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_TOOLTIP",
                                "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
                                "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_COMBO"}) {
        const xcb_atom_t atom = x.atom(overlay);
        if (atom != XCB_ATOM_NONE && std::find(types.begin(), types.end(), atom) != types.end()) p.overlayType = true;
    }
    return p;
}

// The root's child that holds `window`, found by walking up the tree.
xcb_window_t topLevelOf(X11Connection& x, xcb_window_t window) {
    for (int depth = 0; depth < 64; ++depth) {
        XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x.get(), xcb_query_tree(x.get(), window), nullptr));
        if (!tree) return XCB_NONE;
        if (tree->parent == tree->root || tree->parent == XCB_NONE) return window;
        window = tree->parent;
    }
    return XCB_NONE;
}

} // namespace

X11WindowTree X11WindowTree::read(X11Connection& x) {
    X11WindowTree result;
    const xcb_window_t root = x.root();

    XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x.get(), xcb_query_tree(x.get(), root), nullptr));
    if (!tree) throw X11Error("cannot read the root window's children");
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());

    // Attributes and geometry of every child in one round trip.
    std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
    std::vector<xcb_get_geometry_cookie_t> geometryCookies;
    for (int i = 0; i < count; ++i) {
        attributeCookies.push_back(xcb_get_window_attributes(x.get(), children[i]));
        geometryCookies.push_back(xcb_get_geometry(x.get(), children[i]));
    }
    QHash<xcb_window_t, std::size_t> indexByFrame;
    for (int i = 0; i < count; ++i) {
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(x.get(), attributeCookies[i], nullptr));
        XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(x.get(), geometryCookies[i], nullptr));
        if (!attributes || !geometry) continue; // destroyed meanwhile
        X11TopLevel t;
        t.frame = children[i];
        t.borderWidth = geometry->border_width;
        t.rect = Support::Rect(geometry->x, geometry->y, geometry->width + 2.0 * geometry->border_width,
                               geometry->height + 2.0 * geometry->border_width);
        t.visual = attributes->visual;
        t.depth = geometry->depth;
        t.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        t.overrideRedirect = attributes->override_redirect;
        t.inputOnly = attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY;
        indexByFrame.insert(t.frame, result.topLevels.size());
        result.topLevels.push_back(t);
    }

    // Managed clients, bottom to top, from the window manager; without one, every mapped
    // ordinary top-level is its own client.
    const std::vector<std::uint32_t> stacking = x.cardinalsProperty(root, "_NET_CLIENT_LIST_STACKING");
    result.hasWindowManager = !stacking.empty();
    if (result.hasWindowManager) {
        for (xcb_window_t client : stacking) {
            const xcb_window_t frame = topLevelOf(x, client);
            auto it = indexByFrame.constFind(frame);
            if (it == indexByFrame.constEnd()) continue;
            X11TopLevel& t = result.topLevels[*it];
            XcbReply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(x.get(), xcb_get_window_attributes(x.get(), client), nullptr));
            const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            if (t.isClient) {
                t.otherClients.push_back({client, viewable, std::nullopt, false});
                continue;
            }
            t.isClient = true;
            t.client = client;
            t.clientViewable = viewable;
            result.clientOrder.push_back(*it);
        }
    } else {
        for (std::size_t i = 0; i < result.topLevels.size(); ++i) {
            X11TopLevel& t = result.topLevels[i];
            if (t.overrideRedirect || t.inputOnly || !t.viewable) continue;
            t.isClient = true;
            result.clientOrder.push_back(i);
        }
    }

    const std::optional<std::uint32_t> currentDesktop = x.cardinalProperty(root, "_NET_CURRENT_DESKTOP");
    const std::uint32_t ownPid = std::uint32_t(getpid());
    const QString ownHost = hostName();
    const std::shared_ptr<const DesktopEntryIndex> desktopEntries = DesktopEntryIndex::standard();
    const auto ownedByThisProcess = [&](const ClientProperties& p) {
        return p.pid && *p.pid == ownPid && (!p.machine || p.machine->isEmpty() || *p.machine == ownHost);
    };
    std::vector<ClientProperties> properties(result.topLevels.size());
    QHash<xcb_window_t, std::size_t> indexByClient;
    std::vector<std::unique_ptr<PropertyReads>> reads(result.topLevels.size());
    for (std::size_t i = 0; i < result.topLevels.size(); ++i) {
        X11TopLevel& t = result.topLevels[i];
        if (t.client == XCB_NONE) {
            t.client = t.frame;
            t.clientViewable = t.viewable;
        }
        indexByClient.insert(t.client, i);
        // Hidden windows nobody manages are neither listed nor drawn: spare their reads.
        if (t.inputOnly || (!t.viewable && !t.isClient)) continue;
        reads[i] = std::make_unique<PropertyReads>(x, t.client);
    }
    for (std::size_t i = 0; i < result.topLevels.size(); ++i) {
        if (!reads[i]) continue;
        X11TopLevel& t = result.topLevels[i];
        ClientProperties& p = properties[i];
        p = readProperties(x, *reads[i], currentDesktop);
        t.onCurrentDesktop = p.onCurrentDesktop;
        t.hidden = p.hidden;
        t.desktopOrOverlay = p.overlayType || p.keepAbove || t.overrideRedirect;
        t.ownedByThisProcess = ownedByThisProcess(p);
        t.appID = applicationID(p.identity, *desktopEntries);
    }

    // Transient dialogs and popups belong to their owner's application. Resolve owner chains in
    // a bounded number of steps so a transient loop cannot hang the capture.
    std::vector<std::optional<QString>> ownID(result.topLevels.size());
    for (std::size_t i = 0; i < result.topLevels.size(); ++i) {
        std::size_t current = i;
        bool changed = false;
        for (int step = 0; step < 16; ++step) {
            const ClientProperties& p = properties[current];
            std::optional<std::size_t> owner;
            if (p.transientFor != XCB_NONE) {
                if (auto it = indexByClient.constFind(p.transientFor); it != indexByClient.constEnd()) owner = *it;
                else if (auto f = indexByFrame.constFind(p.transientFor); f != indexByFrame.constEnd()) owner = *f;
            } else if (result.topLevels[current].overrideRedirect && p.pid) {
                for (std::size_t j : result.clientOrder) {
                    const ClientProperties& q = properties[j];
                    // A machine named on one side only still matches: popups often go without.
                    if (q.pid == p.pid && (q.machine == p.machine || !q.machine || !p.machine)) {
                        owner = j;
                        break;
                    }
                }
            }
            if (!owner || *owner == current) break;
            current = *owner;
            changed = true;
        }
        if (changed) {
            const std::optional<QString>& ownerID = result.topLevels[current].appID;
            ownID[i] = ownerID ? ownerID : result.topLevels[i].appID;
            if (result.topLevels[current].ownedByThisProcess) result.topLevels[i].ownedByThisProcess = true;
        } else {
            ownID[i] = result.topLevels[i].appID;
        }
    }
    for (std::size_t i = 0; i < result.topLevels.size(); ++i) result.topLevels[i].appID = ownID[i];

    // Rare enough to read one by one; a transient tab goes with its owner.
    for (X11TopLevel& t : result.topLevels) {
        for (X11TopLevel::OtherClient& other : t.otherClients) {
            PropertyReads reads(x, other.window);
            const ClientProperties p = readProperties(x, reads, currentDesktop);
            other.ownedByThisProcess = ownedByThisProcess(p);
            other.appID = applicationID(p.identity, *desktopEntries);
            if (auto owner = indexByClient.constFind(p.transientFor); p.transientFor && owner != indexByClient.constEnd()
                                                                      && result.topLevels[*owner].appID)
                other.appID = result.topLevels[*owner].appID;
        }
    }
    return result;
}

const X11TopLevel* X11WindowTree::find(xcb_window_t window) const {
    for (const X11TopLevel& t : topLevels) {
        if (t.client == window || t.frame == window) return &t;
        for (const X11TopLevel::OtherClient& other : t.otherClients)
            if (other.window == window) return &t;
    }
    return nullptr;
}

} // namespace CaptureKit
