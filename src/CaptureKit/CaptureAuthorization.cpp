#include "CaptureKit/CaptureAuthorization.h"

#include "CaptureKit/X11Connection.h"

#include <xcb/composite.h>

namespace CaptureKit {

CaptureAuthorization::Value CaptureAuthorization::current() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return denied;
    try {
        X11Connection x;
        if (!x.hasExtension(&xcb_composite_id)) return denied;
        XcbReply<xcb_composite_query_version_reply_t> version(
            xcb_composite_query_version_reply(x.get(), xcb_composite_query_version(x.get(), 0, 4), nullptr));
        if (!version) return denied;
        return version->major_version > 0 || version->minor_version >= 2 ? authorized : denied;
    } catch (const X11Error&) {
        return denied;
    }
}

} // namespace CaptureKit
