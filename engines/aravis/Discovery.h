// The cameras Aravis can reach, and the end of its use in a process.
#ifndef ARAVISENGINE_DISCOVERY_H
#define ARAVISENGINE_DISCOVERY_H

#include <string>
#include <vector>

namespace aravisengine {

struct CameraInfo {
    std::string id;  // what CameraStream opens (so do the address and the serial)
    std::string vendor, model, serial, address, protocol;
};

// Asks every interface: GigE Vision cameras answer a discovery broadcast on each network the
// machine is on, USB3 Vision ones are enumerated on the bus.
std::vector<CameraInfo> listCameras();

// Frees what Aravis keeps for the whole process (its interfaces and device lists). Call it last,
// after every stream and simulator is gone.
void shutDownDeviceStack();

}  // namespace aravisengine

#endif  // ARAVISENGINE_DISCOVERY_H
