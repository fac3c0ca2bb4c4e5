#include "BrindlecastApp/Shell/AppMain.h"

#include "BrindlecastApp/Shell/AppDelegate.h"
#include "BrindlecastApp/Channel/Channel.h"
#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/PortalSettingsReader.h"
#include "BrindlecastApp/Shell/LaunchOptions.h"
#include "BrindlecastApp/Logging/AppLog.h"
#include "BrindlecastApp/Shell/TerminationSignals.h"
#include "AuditKit/JournalLogSink.h"
#include "DetectionKit/SharedRecognizers.h"
#include "Support/Fonts.h"
#include "Support/Log.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace BrindlecastApp {

namespace {

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

int runApplication(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Brindlecast");
    QApplication::setOrganizationDomain("brindlecast.app");
    QApplication::setDesktopFileName("app.brindlecast");
    QApplication::setApplicationVersion(BRINDLECAST_VERSION);
    QApplication::setQuitOnLastWindowClosed(false);
    // Plain controls set their text in the interface family too.
    QFont font = QApplication::font();
    font.setFamilies({Support::Fonts::interfaceFamily()});
    QApplication::setFont(font);

    // Everything the app logs, audit records included, goes to the journal (syslog without one).
    Support::Log::setSink(std::make_shared<AuditKit::JournalLogSink>());
    // Read again now that Qt has taken its own arguments ("-platform", "-style", ...).
    const QString ignored = LaunchOptions::parse(QCoreApplication::arguments().mid(1)).ignoredArgumentsLine();
    if (!ignored.isEmpty()) appLog().notice(ignored);

    // Dark mode, reduce motion and reduce transparency follow the desktop when it says so.
    PortalSettingsReader portal(DesktopSettings::instance());
    portal.start();

    // A logout or `kill` ends the app, storing what is open without asking; a signal during the
    // launch waits for the loop.
    TerminationSignals termination;
    AppDelegate delegate(QCoreApplication::arguments(), AppDelegate::Services::live());
    QObject::connect(&termination, &TerminationSignals::received, &delegate, &AppDelegate::endOnSignal);
    // Another copy runs and was asked to come forward: this one has nothing left to do.
    if (!delegate.applicationDidFinishLaunching()) return 0;
    return app.exec();
}

} // namespace

int runMain(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const LaunchOptions options = LaunchOptions::parse(arguments);

    switch (options.action) {
    case LaunchOptions::Action::printVersion:
        print(stdout, LaunchOptions::versionText());
        return 0;
    case LaunchOptions::Action::printHelp:
        print(stdout, LaunchOptions::helpText());
        return 0;
    case LaunchOptions::Action::run:
        break;
    }
    const int status = runApplication(argc, argv);
    // The application's workers are done; the engines' own threads go now, before the process
    // finalises the libraries they run in (a thread still loading or using them then would find
    // their statics gone, or load them into a finalised runtime).
    DetectionKit::closeSharedRecognizers();
    return status;
}

int BrindlecastMain::run(const Channel& channel, int argc, char** argv) {
    Channel::current() = channel;
    return runMain(argc, argv);
}

} // namespace BrindlecastApp
