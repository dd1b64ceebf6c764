// Aravis's GigE Vision camera simulator, run inside this process on the loopback interface: it
// answers discovery, control and streaming over UDP at 127.0.0.1 as a real camera on a network
// would, so the whole device stack runs without hardware. Only one can listen on the loopback
// interface at a time (GigE Vision's control port is fixed).
#ifndef ARAVISENGINE_SIMULATOR_H
#define ARAVISENGINE_SIMULATOR_H

#include <string>

struct _ArvGvFakeCamera;

namespace aravisengine {

class Simulator {
public:
    // Throws EngineError when it cannot listen (another simulator holds the port).
    explicit Simulator(const std::string& serial = "ZFK01");
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // What opens it without asking the networks: the camera id to give CameraStream.
    static const char* address() { return "127.0.0.1"; }
    // What discovery lists it as.
    std::string deviceId() const { return "Aravis-Fake-" + serial; }

private:
    std::string serial;
    _ArvGvFakeCamera* camera;
};

}  // namespace aravisengine

#endif  // ARAVISENGINE_SIMULATOR_H
