#include "BrindlecastApp/Channel/Channel.h"

namespace BrindlecastApp {

Channel& Channel::current() {
    // Until main() stores its channel: no updates and no start-at-login mechanism.
    static Channel channel{"selfhosted", std::make_shared<NoOpUpdater>(), nullptr};
    return channel;
}

} // namespace BrindlecastApp
