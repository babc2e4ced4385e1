// Linked into every test program and the program itself in
// thread-sanitizer builds (and only there): tells the sanitizer about the
// ordering that Qt's queued signals give.
//
// A queued connection copies the signal's arguments into an event, posts it
// under a lock inside QtCore and runs the slot on the receiver's thread.
// QtCore is not built with the sanitizer, so it sees none of that: whatever
// the sender wrote before emitting looks concurrent with what the slot reads.
// Here every emission releases on the sender's address, and the delivery of
// a queued call from that sender acquires it on the receiving thread. That
// is an ordering Qt really guarantees (the emission happens before the
// delivery), so no true race is hidden by it; calls queued without a sender
// (functors given to invokeMethod) get no edge.
//
// The copies of the arguments are made after the emission has begun, so the
// edge does not cover them; they belong to the event alone and are handed
// over with it. On delivery their memory is marked as new to the receiving
// thread (what it holds is still checked: shared data inside an argument was
// written before the emission).
//
// The sender and the arguments are read from the event at fixed offsets
// (QtCore 5.15 does not export the event's class). A self-check at
// application start-up confirms them with a real queued call and turns the
// bridge off, with a warning, if they do not match.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <atomic>
#include <cstdio>

extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
extern "C" void AnnotateNewMemory(const char* file, int line, const volatile void* mem, size_t size);

// QtCore's signal hooks (exported; the declaration is not public).
struct QSignalSpyCallbackSet
{
    typedef void (*BeginCallback)(QObject* caller, int signal_or_method_index, void** argv);
    typedef void (*EndCallback)(QObject* caller, int signal_or_method_index);
    BeginCallback signal_begin_callback, slot_begin_callback;
    EndCallback signal_end_callback, slot_end_callback;
};
void qt_register_signal_spy_callbacks(QSignalSpyCallbackSet* callback_set);
// The queued call's class; other events of the MetaCall type (D-Bus calls,
// for one) are laid out differently and are left alone.
extern "C" char _ZTV14QMetaCallEvent[];

namespace {

// QEvent is a vtable, its private pointer and two shorts; the queued call's
// sender pointer follows, then the signal index and the semaphore of a
// blocking call, then the call: slot object, argument pointers, call
// function, argument count. The argument types follow the argument pointers.
constexpr size_t kSenderOffset = 24;
constexpr size_t kArgsOffset = 48;
constexpr size_t kArgCountOffset = 64;

std::atomic<bool> g_enabled{false};
// The self-check's receiver and the sender it saw.
QObject* g_probeReceiver = nullptr;
const QObject* g_probeSeen = nullptr;
QString g_probeArgument;

template <typename T>
T fieldOf(QEvent* e, size_t offset)
{
    return *reinterpret_cast<const T*>(reinterpret_cast<const char*>(e) + offset);
}

const QObject* senderOf(QEvent* e) { return fieldOf<const QObject*>(e, kSenderOffset); }

// Argument 0 is the return value (none for a queued call).
QString probeArgument(QEvent* e)
{
    void** args = fieldOf<void**>(e, kArgsOffset);
    const int count = fieldOf<int>(e, kArgCountOffset);
    if (!args || count != 2)
        return QString();
    const int* types = reinterpret_cast<const int*>(args + count);
    if (types[1] != QMetaType::QString || !args[1])
        return QString();
    return *static_cast<const QString*>(args[1]);
}

void forgetArgumentCopies(QEvent* e)
{
    void** args = fieldOf<void**>(e, kArgsOffset);
    const int count = fieldOf<int>(e, kArgCountOffset);
    if (!args || count <= 1 || count > 64)
        return;
    const int* types = reinterpret_cast<const int*>(args + count);
    for (int i = 1; i < count; ++i) {
        const int size = QMetaType::sizeOf(types[i]);
        if (args[i] && size > 0)
            AnnotateNewMemory(__FILE__, __LINE__, args[i], size_t(size));
    }
}

void onSignal(QObject* caller, int, void**)
{
    if (g_enabled.load(std::memory_order_relaxed))
        __tsan_release(caller);
}

bool onEvent(void** data)
{
    auto* receiver = static_cast<QObject*>(data[0]);
    auto* event = static_cast<QEvent*>(data[1]);
    if (!event || event->type() != QEvent::MetaCall)
        return false;
    // The object's vtable pointer points past the offset-to-top and type info.
    if (*reinterpret_cast<void* const*>(event) != _ZTV14QMetaCallEvent + 2 * sizeof(void*))
        return false;
    if (receiver && receiver == g_probeReceiver) {
        g_probeSeen = senderOf(event);
        g_probeArgument = probeArgument(event);
        return false;
    }
    if (!g_enabled.load(std::memory_order_relaxed))
        return false;
    if (const QObject* sender = senderOf(event))
        __tsan_acquire(const_cast<QObject*>(sender));
    // Also for calls queued by name, which have no sender: their arguments
    // are copies made for the event all the same.
    forgetArgumentCopies(event);
    return false; // never consumes the event
}

void onSlot(QObject*, int, void**) {}
void onEnd(QObject*, int) {}

QSignalSpyCallbackSet g_callbacks = {onSignal, onSlot, onEnd, onEnd};

class ProbeSender : public QObject
{
public:
    using QObject::QObject;
};

void install()
{
    QInternal::registerCallback(QInternal::EventNotifyCallback, onEvent);
    // One real queued call: the event must carry the sender where we read it.
    ProbeSender sender;
    QObject receiver;
    g_probeReceiver = &receiver;
    QObject::connect(&sender, &QObject::objectNameChanged, &receiver, [](const QString&) {}, Qt::QueuedConnection);
    sender.setObjectName(QStringLiteral("probe"));
    QCoreApplication::sendPostedEvents(&receiver, QEvent::MetaCall);
    g_probeReceiver = nullptr;
    if (g_probeSeen != &sender || g_probeArgument != QLatin1String("probe")) {
        std::fprintf(stderr, "qtqueuedsync: queued-call layout not recognised; queued signals are not modelled\n");
        QInternal::unregisterCallback(QInternal::EventNotifyCallback, onEvent);
        return;
    }
    qt_register_signal_spy_callbacks(&g_callbacks);
    g_enabled.store(true);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(install)
