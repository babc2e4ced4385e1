#pragma once

#include <QByteArray>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

class SimCameraSession;

// What an emulated camera does with each IO-control message the client
// sends. One dispatcher serves every camera of a SimP2pHost; each part of the
// emulator adds the handlers of its own commands (video, audio, RDT, motor,
// ...) from its own files, before or while the cameras run:
//
//     host.dispatcher().add(0x1FF, [](SimCameraSession& s, unsigned type,
//                                     const QByteArray& payload) { ... });
//
// Handlers run on the session's own thread, one message at a time, in the
// order received; long work goes to SimCameraSession::startTask.
//
// Every message is first held to the rules of the wire (SimWireRules): one
// that breaks them, or whose type has neither a rule nor a handler, is
// refused: no handler runs, nothing is answered, and the session records it
// as a violation. A message that keeps the rules but has no handler (the
// disconnect 0x2FF) is ignored.
class SimIoCtrlDispatcher
{
public:
    using Handler = std::function<void(SimCameraSession& session, unsigned int type, const QByteArray& payload)>;
    using SessionHook = std::function<void(SimCameraSession& session)>;

    // Sets (or replaces) the handler of one message type.
    void add(unsigned int type, Handler handler);
    void remove(unsigned int type);
    bool has(unsigned int type) const;

    // Hooks run on the session thread after a login is accepted and before
    // the session ends (tasks are already stopped then).
    void addSessionStartHook(SessionHook hook);
    void addSessionEndHook(SessionHook hook);

    // Checks the message, then runs the handler of `type`; false when it was
    // refused or there is no handler.
    bool dispatch(SimCameraSession& session, unsigned int type, const QByteArray& payload) const;
    void sessionStarted(SimCameraSession& session) const;
    void sessionEnded(SimCameraSession& session) const;

private:
    mutable std::mutex m_mutex;
    std::map<unsigned int, Handler> m_handlers;
    std::vector<SessionHook> m_startHooks;
    std::vector<SessionHook> m_endHooks;
};
