#include "Support/WorkerPool.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <mutex>

namespace Support {

QThreadPool& workerPool() {
    // Owned by the application object, so it has finished its work before the statics that work
    // uses go; made again for a later application object (tests make several).
    static std::mutex mutex;
    static QPointer<QThreadPool> pool;
    static QThreadPool withoutApplication;
    std::lock_guard lock(mutex);
    if (pool) return *pool;
    QCoreApplication* application = QCoreApplication::instance();
    if (!application) return withoutApplication;
    pool = new QThreadPool(application);
    pool->setObjectName(QStringLiteral("workerPool"));
    return *pool;
}

} // namespace Support
