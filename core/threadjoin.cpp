#include "core/threadjoin.h"
#include "core/threadsanitizer.h"

#include <QThread>

#ifdef VC_THREAD_SANITIZER
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace ThreadJoin {

void watch(QThread* thread)
{
#ifdef VC_THREAD_SANITIZER
    // finished is emitted by the ending thread itself, after run().
    QObject::connect(thread, &QThread::finished, thread, [thread] { __tsan_release(thread); },
                     Qt::DirectConnection);
#else
    Q_UNUSED(thread);
#endif
}

bool wait(QThread* thread, unsigned long ms)
{
    const bool ended = thread->wait(ms);
#ifdef VC_THREAD_SANITIZER
    if (ended)
        __tsan_acquire(thread);
#endif
    return ended;
}

} // namespace ThreadJoin
