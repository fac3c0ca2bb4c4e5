#include "BrindlecastApp/Pipeline/Background.h"

#include "Support/WorkerPool.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThreadPool>

namespace BrindlecastApp::Pipeline {

void onGuiThread(std::function<void()> task) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) return;
    QMetaObject::invokeMethod(application, std::move(task), Qt::QueuedConnection);
}

void onWorker(std::function<void()> work, QThreadPool* pool) {
    (pool ? pool : &Support::workerPool())->start(std::move(work));
}

} // namespace BrindlecastApp::Pipeline
