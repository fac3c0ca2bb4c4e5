#include "BrindlecastApp/Channel/AgentLoginLaunch.h"
#include "BrindlecastApp/Shell/AppMain.h"
#include "BrindlecastApp/Channel/Channel.h"

#include <memory>

namespace {

// The package manager updates the app: no update feed exists for it.
std::shared_ptr<BrindlecastApp::UpdateProvider> makeSelfHostedUpdater() {
    return std::make_shared<BrindlecastApp::NoOpUpdater>();
}

} // namespace

int main(int argc, char** argv) {
    const BrindlecastApp::Channel channel{"selfhosted", makeSelfHostedUpdater(),
                                          std::make_shared<BrindlecastApp::AgentLoginLaunch>()};
    return BrindlecastApp::BrindlecastMain::run(channel, argc, argv);
}
