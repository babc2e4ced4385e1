#pragma once

#include <QString>
#include <memory>
#include <thread>

class Scenario;
class SimViolations;
namespace httplib { class Server; }

// A small loopback HTTP interface that changes the emulated world while the
// emulator runs (tests and manual checks use it; see docs/emulator.md):
//   GET    /control/state                 the cameras and cloud faults as JSON
//   POST   /control/camera/<did>          merge {"online","power","sdcard","max_client",
//                                          "pincode","name","faults":{...}} into a camera
//   POST   /control/cameras               add a camera (scenario camera object)
//   DELETE /control/camera/<did>          remove a camera from the account
//   POST   /control/cloud                 replace the cloud fault knobs {"faults":{...}}
//   GET    /violations                    what the cameras refused: {"violations":[...]}
//   DELETE /violations                    the same, and empties the list
class ControlServer
{
public:
    explicit ControlServer(Scenario* scenario, SimViolations* violations = nullptr);
    ~ControlServer();

    // Listens on 127.0.0.1 (port 0: any free port). Returns the port or -1.
    int start(int port = 0);
    void stop();
    int port() const { return m_port; }

private:
    Scenario* m_scenario;
    SimViolations* m_violations;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = -1;
};
