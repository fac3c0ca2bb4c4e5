#include "BrindlecastApp/Channel.h"

#include "BrindlecastApp/AgentLoginLaunch.h"

namespace BrindlecastApp {

const Channel& Channel::selfHosted() {
    static const Channel channel{"selfhosted", std::make_shared<NoOpUpdater>(), std::make_shared<AgentLoginLaunch>()};
    return channel;
}

Channel& Channel::current() {
    static Channel channel = selfHosted();
    return channel;
}

} // namespace BrindlecastApp
