// Records `count` audit events through a webhook sink over `folder`, printing "sent <i>" after
// each, then either hangs until it is killed ("hang") or returns from main at once ("exit").
#include "AuditKit/AuditRecord.h"
#include "AuditKit/WebhookSink.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: audit_webhook_child <url> <folder> <count> hang|exit\n");
        return 2;
    }
    AuditKit::WebhookSink sink(QUrl(QString::fromUtf8(argv[1])), QString::fromUtf8(argv[2]));
    const int count = std::atoi(argv[3]);
    for (int i = 1; i <= count; ++i) {
        sink.send(AuditKit::AuditRecord::now(AuditKit::AuditEvent::policyViolation("child", QString("record %1").arg(i))));
        std::printf("sent %d\n", i);
        std::fflush(stdout);
    }
    if (std::string(argv[4]) == "hang") {
        while (true) ::pause();
    }
    return 0;
}
