// Linked into every test program and the program itself in
// thread-sanitizer builds (and only there): tells the sanitizer about the
// ordering that Qt's queued signals give.
//
// A queued connection copies the signal's arguments into an event, posts it
// under a lock inside QtCore and runs the slot on the receiver's thread.
// QtCore is not built with the sanitizer, so it sees none of that: whatever
// the sender wrote before emitting looks concurrent with what the slot reads.
// Here every emission releases on the sender's cell, and the delivery of a
// queued call from that sender acquires it on the receiving thread. That
// is an ordering Qt really guarantees (the emission happens before the
// delivery), so no true race is hidden by it; calls queued without a sender
// (functors given to invokeMethod) get no edge.
//
// The copies of the arguments are made after the emission has begun, so the
// emission releases again when it ends, and a delivery that comes after
// that (the usual case: the receiver has to be woken first) sees them too.
// That second edge is a little wider than Qt's guarantee: it also orders
// what the sender's thread did between posting the call and the end of the
// emission (its direct slots run after the post) before the queued slot. A
// delivery that overtakes the end of the emission still sees the copies as
// unordered (this toolchain's runtime has no working call to forget a
// range's earlier writes, which would close that).
//
// The cells are a fixed table indexed by the sender's address, never the
// sender itself: by the time its call is delivered the sender may be gone,
// or being deleted on another thread, and the sanitizer's record for a
// freed object's address is freed with it (acquiring on it then crashed the
// runtime inside its signal handler). Two senders sharing a cell only add
// an edge.
//
// The sender is read from the event at a fixed offset (QtCore 5.15 does not
// export the event's class). A self-check at application start-up confirms
// it with a real queued call and turns the bridge off, with a warning, if it
// does not match. VC_QT_QUEUED_SYNC=0 switches it off, to compare a run
// without it.

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <atomic>
#include <cstdint>
#include <cstdio>

extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);

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
// sender pointer follows.
constexpr size_t kSenderOffset = 24;

constexpr size_t kCellBits = 12;
// One word per cell; only its address matters to the sanitizer.
std::uint64_t g_cells[size_t(1) << kCellBits];

void* cellOf(const QObject* sender)
{
    const auto key = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(sender)) >> 4;
    return &g_cells[(key * 0x9E3779B97F4A7C15ull) >> (64 - kCellBits)];
}

std::atomic<bool> g_enabled{false};
// The self-check's receiver and the sender it saw.
QObject* g_probeReceiver = nullptr;
const QObject* g_probeSeen = nullptr;

const QObject* senderOf(QEvent* e)
{
    return *reinterpret_cast<const QObject* const*>(reinterpret_cast<const char*>(e) + kSenderOffset);
}

void onSignal(QObject* caller, int, void**)
{
    if (g_enabled.load(std::memory_order_relaxed))
        __tsan_release(cellOf(caller));
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
        return false;
    }
    if (!g_enabled.load(std::memory_order_relaxed))
        return false;
    if (const QObject* sender = senderOf(event))
        __tsan_acquire(cellOf(sender));
    return false; // never consumes the event
}

void onSignalEnd(QObject* caller, int)
{
    if (g_enabled.load(std::memory_order_relaxed))
        __tsan_release(cellOf(caller));
}

void onSlot(QObject*, int, void**) {}
void onSlotEnd(QObject*, int) {}

QSignalSpyCallbackSet g_callbacks = {onSignal, onSlot, onSignalEnd, onSlotEnd};

class ProbeSender : public QObject
{
public:
    using QObject::QObject;
};

void install()
{
    if (qEnvironmentVariable("VC_QT_QUEUED_SYNC") == QLatin1String("0"))
        return; // switched off, to compare a run without it
    QInternal::registerCallback(QInternal::EventNotifyCallback, onEvent);
    // One real queued call: the event must carry the sender where we read it.
    ProbeSender sender;
    QObject receiver;
    g_probeReceiver = &receiver;
    QObject::connect(&sender, &QObject::objectNameChanged, &receiver, [](const QString&) {}, Qt::QueuedConnection);
    sender.setObjectName(QStringLiteral("probe"));
    QCoreApplication::sendPostedEvents(&receiver, QEvent::MetaCall);
    g_probeReceiver = nullptr;
    if (g_probeSeen != &sender) {
        std::fprintf(stderr, "qtqueuedsync: queued-call layout not recognised; queued signals are not modelled\n");
        QInternal::unregisterCallback(QInternal::EventNotifyCallback, onEvent);
        return;
    }
    qt_register_signal_spy_callbacks(&g_callbacks);
    g_enabled.store(true);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(install)
