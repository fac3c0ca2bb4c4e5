#include "CaptureKit/X11WindowTree.h"

#include <QHash>

#include <unistd.h>

#include <algorithm>
#include <climits>

namespace CaptureKit {

namespace {

// How deep below a frame its client may sit; deeper clients are not found, and their frame is
// then treated as one without a client.
constexpr int deepestClient = 6;
// Longest chain of transient owners followed, so a loop cannot hang the capture.
constexpr int longestOwnerChain = 16;

constexpr std::uint32_t withdrawnState = 0;

QString hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return QString::fromLocal8Bit(name);
}

// The reads of one client's properties, all asked for at once.
struct PropertyReads {
    PropertyReads(X11Connection& x, xcb_window_t w)
        : gtkApplicationID(x, w, "_GTK_APPLICATION_ID"), kdeDesktopFile(x, w, "_KDE_NET_WM_DESKTOP_FILE"),
          windowClass(x, w, XCB_ATOM_WM_CLASS), pid(x, w, "_NET_WM_PID"), machine(x, w, "WM_CLIENT_MACHINE"),
          transientFor(x, w, "WM_TRANSIENT_FOR"), state(x, w, "_NET_WM_STATE"), types(x, w, "_NET_WM_WINDOW_TYPE"),
          attributes(xcb_get_window_attributes(x.get(), w)) {}
    PendingProperty gtkApplicationID, kdeDesktopFile, windowClass, pid, machine, transientFor, state, types;
    xcb_get_window_attributes_cookie_t attributes;
};

struct ClientProperties {
    WindowIdentityProperties identity;
    // The window's process on this machine: the one the server names, or on a server that names
    // none, the one _NET_WM_PID claims.
    std::optional<std::uint32_t> pid;
    std::optional<QString> machine;
    xcb_window_t transientFor = XCB_NONE;
    bool viewable = false;
    bool overlay = false;
};

bool contains(const std::vector<xcb_atom_t>& atoms, X11Connection& x, const char* name) {
    const xcb_atom_t atom = x.atom(name);
    return atom != XCB_ATOM_NONE && std::find(atoms.begin(), atoms.end(), atom) != atoms.end();
}

ClientProperties readProperties(X11Connection& x, PropertyReads& reads) {
    ClientProperties p;
    p.identity.gtkApplicationID = reads.gtkApplicationID.text();
    p.identity.kdeDesktopFile = reads.kdeDesktopFile.text();
    p.identity.windowClass = reads.windowClass.windowClass();
    p.identity.windowInstance = reads.windowClass.windowInstance();
    p.pid = reads.pid.value();
    p.machine = reads.machine.text();
    if (auto transient = reads.transientFor.value()) p.transientFor = *transient;
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(x.get(), reads.attributes, nullptr));
    p.viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;

    const std::vector<xcb_atom_t> types = reads.types.values();
    p.overlay = contains(reads.state.values(), x, "_NET_WM_STATE_ABOVE");
    for (const char* overlay : {"_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DOCK",
                                "_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_TOOLTIP",
                                "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
                                "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_COMBO"})
        p.overlay = p.overlay || contains(types, x, overlay);
    return p;
}

// A client found inside a frame, with its WM_STATE (nothing when only the window manager's
// client lists name it).
struct FoundClient {
    xcb_window_t window;
    std::optional<std::uint32_t> wmState;
};

// The clients inside each top-level: the windows with WM_STATE, searched level by level (one
// round trip per level), not below a window that has it. Windows the manager lists as clients
// count too. Hidden popups are not searched: nothing of them is drawn.
std::vector<std::vector<FoundClient>> findManagedClients(X11Connection& x, const std::vector<X11TopLevel>& topLevels) {
    std::vector<std::vector<FoundClient>> found(topLevels.size());
    const xcb_atom_t wmState = x.atom("WM_STATE");
    struct Node {
        xcb_window_t window;
        std::size_t top;
    };
    std::vector<Node> level;
    for (std::size_t i = 0; i < topLevels.size(); ++i)
        if (!topLevels[i].inputOnly && (topLevels[i].viewable || !topLevels[i].overrideRedirect))
            level.push_back({topLevels[i].frame, i});

    QHash<xcb_window_t, std::size_t> withoutState; // searched windows without WM_STATE, by top-level
    for (int depth = 0; depth <= deepestClient && !level.empty(); ++depth) {
        std::vector<std::unique_ptr<PendingProperty>> states;
        std::vector<xcb_query_tree_cookie_t> trees;
        for (const Node& node : level) {
            states.push_back(std::make_unique<PendingProperty>(x, node.window, wmState));
            if (depth < deepestClient) trees.push_back(xcb_query_tree(x.get(), node.window));
        }
        std::vector<Node> next;
        for (std::size_t n = 0; n < level.size(); ++n) {
            const std::vector<std::uint32_t> state = states[n]->values();
            XcbReply<xcb_query_tree_reply_t> tree(depth < deepestClient ? xcb_query_tree_reply(x.get(), trees[n], nullptr)
                                                                        : nullptr);
            if (!state.empty()) {
                found[level[n].top].push_back({level[n].window, state.front()});
                continue;
            }
            withoutState.insert(level[n].window, level[n].top);
            if (!tree) continue;
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            for (int c = 0; c < xcb_query_tree_children_length(tree.get()); ++c) next.push_back({children[c], level[n].top});
        }
        level = std::move(next);
    }

    for (const char* list : {"_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST"}) {
        for (xcb_window_t window : x.cardinalsProperty(x.root(), list)) {
            const auto it = withoutState.constFind(window);
            if (it == withoutState.constEnd()) continue;
            std::vector<FoundClient>& clients = found[*it];
            const bool known = std::any_of(clients.begin(), clients.end(), [&](const FoundClient& c) { return c.window == window; });
            if (!known) clients.push_back({window, std::nullopt});
        }
    }
    return found;
}

// Where a client sits in the tree.
struct ClientRef {
    std::size_t top;
    std::size_t index;
};

} // namespace

bool X11TopLevel::isDesktopOrOverlay() const {
    return overrideRedirect || std::any_of(clients.begin(), clients.end(), [](const X11Client& c) { return c.overlay; });
}

const X11Client* X11TopLevel::client(xcb_window_t window) const {
    for (const X11Client& c : clients)
        if (c.window == window) return &c;
    return nullptr;
}

X11WindowTree X11WindowTree::read(X11Connection& x) {
    X11WindowTree result;
    const xcb_window_t root = x.root();

    const xcb_get_window_attributes_cookie_t rootAttributesCookie = xcb_get_window_attributes(x.get(), root);
    XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x.get(), xcb_query_tree(x.get(), root), nullptr));
    XcbReply<xcb_get_window_attributes_reply_t> rootAttributes(
        xcb_get_window_attributes_reply(x.get(), rootAttributesCookie, nullptr));
    if (!tree || !rootAttributes) throw X11Error("cannot read the root window's children");
    // A window manager is whoever redirects the root's children's map and configure requests.
    result.hasWindowManager = (rootAttributes->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT) != 0;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());

    // Attributes and geometry of every child in one round trip.
    std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
    std::vector<xcb_get_geometry_cookie_t> geometryCookies;
    for (int i = 0; i < count; ++i) {
        attributeCookies.push_back(xcb_get_window_attributes(x.get(), children[i]));
        geometryCookies.push_back(xcb_get_geometry(x.get(), children[i]));
    }
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
        result.topLevels.push_back(t);
    }

    // The clients of each top-level: those found in it. A window without any is its own client
    // when it is a popup or nobody manages windows; under a window manager, an ordinary one is a
    // frame whose client is gone (or the manager's own window).
    const std::vector<std::vector<FoundClient>> managed = findManagedClients(x, result.topLevels);
    std::vector<ClientRef> refs;
    std::vector<bool> listedHint;
    for (std::size_t i = 0; i < result.topLevels.size(); ++i) {
        X11TopLevel& t = result.topLevels[i];
        if (t.inputOnly) continue;
        const auto add = [&](xcb_window_t window, bool listed) {
            refs.push_back({i, t.clients.size()});
            t.clients.push_back({});
            t.clients.back().window = window;
            listedHint.push_back(listed);
        };
        for (const FoundClient& found : managed[i]) add(found.window, found.wmState != withdrawnState);
        // Hidden windows nobody manages are neither listed nor drawn: spare their reads.
        if (managed[i].empty() && (t.overrideRedirect || !result.hasWindowManager) && t.viewable) add(t.frame, true);
    }

    // Every client's properties, and the process the server says owns it, in one round trip.
    std::vector<std::unique_ptr<PropertyReads>> reads;
    std::vector<xcb_window_t> clientWindows;
    for (const ClientRef& ref : refs) {
        clientWindows.push_back(result.topLevels[ref.top].clients[ref.index].window);
        reads.push_back(std::make_unique<PropertyReads>(x, clientWindows.back()));
    }
    const bool serverTellsProcesses = x.tellsClientProcesses();
    const std::vector<std::optional<std::uint32_t>> processes = x.clientProcesses(clientWindows);
    std::vector<ClientProperties> properties;
    for (auto& r : reads) properties.push_back(readProperties(x, *r));
    reads.clear();

    const std::shared_ptr<const DesktopEntryIndex> desktopEntries = DesktopEntryIndex::standard();
    const std::uint32_t ownPid = std::uint32_t(getpid());
    const QString ownHost = hostName();
    std::vector<QStringList> ownIdentities(refs.size());
    std::vector<std::optional<QString>> ownAppID(refs.size());
    QHash<xcb_window_t, std::size_t> refByWindow;
    std::vector<bool> ownProcessKnown(refs.size());
    for (std::size_t r = 0; r < refs.size(); ++r) {
        ClientProperties& p = properties[r];
        X11TopLevel& t = result.topLevels[refs[r].top];
        X11Client& c = t.clients[refs[r].index];
        c.viewable = p.viewable;
        c.overlay = p.overlay;
        c.listed = listedHint[r];
        // A client the server names no process of is another machine's, or gone: what it claims
        // of itself is no process here.
        if (serverTellsProcesses) p.pid = processes[r];
        else if (p.machine && !p.machine->isEmpty() && *p.machine != ownHost) p.pid = std::nullopt;
        c.ownedByThisProcess = p.pid && *p.pid == ownPid;
        // The process is looked at only for windows that will be listed: hidden ones cost nothing.
        if (p.pid && c.listed) p.identity.program = programOfProcess(*p.pid);
        ownIdentities[r] = applicationIdentities(p.identity, *desktopEntries);
        ownAppID[r] = applicationID(p.identity, *desktopEntries);
        ownProcessKnown[r] = isProcessKnown(p.identity);
        refByWindow.insert(c.window, r);
    }
    // WM_TRANSIENT_FOR may name the owner's frame rather than its client.
    for (std::size_t r = 0; r < refs.size(); ++r) {
        const xcb_window_t frame = result.topLevels[refs[r].top].frame;
        if (!refByWindow.contains(frame)) refByWindow.insert(frame, r);
    }
    const auto samePid = [&](const ClientProperties& a, const ClientProperties& b) { return a.pid && a.pid == b.pid; };
    const auto transientOwner = [&](std::size_t r) -> std::optional<std::size_t> {
        if (properties[r].transientFor == XCB_NONE) return std::nullopt;
        const auto it = refByWindow.constFind(properties[r].transientFor);
        if (it == refByWindow.constEnd() || *it == r) return std::nullopt;
        return *it;
    };
    // A popup that names no owner goes with the first managed window of its process.
    const auto owner = [&](std::size_t r) -> std::optional<std::size_t> {
        if (auto transient = transientOwner(r)) return transient;
        if (!result.topLevels[refs[r].top].overrideRedirect || !properties[r].pid) return std::nullopt;
        for (std::size_t q = 0; q < refs.size(); ++q) {
            const X11TopLevel& t = result.topLevels[refs[q].top];
            if (q != r && t.isInOrder() && t.clients[refs[q].index].listed && samePid(properties[q], properties[r])) return q;
        }
        return std::nullopt;
    };

    for (std::size_t r = 0; r < refs.size(); ++r) {
        X11Client& c = result.topLevels[refs[r].top].clients[refs[r].index];
        // The ID it goes by: the last owner's, as transients and popups take their owner's.
        std::size_t current = r;
        for (int step = 0; step < longestOwnerChain; ++step) {
            const std::optional<std::size_t> next = owner(current);
            if (!next || *next == r) break;
            current = *next;
            if (result.topLevels[refs[current].top].clients[refs[current].index].ownedByThisProcess)
                c.ownedByThisProcess = true;
        }
        c.appID = ownAppID[current] ? ownAppID[current] : ownAppID[r];

        // Every ID it may go by: its own, every transient owner's, and when it names nothing
        // itself, those of its process's other windows.
        QStringList ids = ownIdentities[r];
        const auto add = [&](const QStringList& more) {
            for (const QString& id : more)
                if (!ids.contains(id)) ids << id;
        };
        current = r;
        c.processKnown = ownProcessKnown[r];
        for (int step = 0; step < longestOwnerChain; ++step) {
            const std::optional<std::size_t> next = transientOwner(current);
            if (!next || *next == r) break;
            current = *next;
            add(ownIdentities[current]);
        }
        if (ownIdentities[r].isEmpty()) {
            for (std::size_t q = 0; q < refs.size(); ++q)
                if (q != r && samePid(properties[q], properties[r])) add(ownIdentities[q]);
        }
        if (c.appID) add({*c.appID});
        c.identities = ids;
    }
    return result;
}

const X11TopLevel* X11WindowTree::find(xcb_window_t window) const {
    for (const X11TopLevel& t : topLevels) {
        if (t.frame == window || t.client(window)) return &t;
    }
    return nullptr;
}

} // namespace CaptureKit
