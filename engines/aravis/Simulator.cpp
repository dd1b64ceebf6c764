#include "Simulator.h"

#include <arv.h>

#include "EngineError.h"

namespace aravisengine {

Simulator::Simulator(const std::string& serial) : serial(serial), camera(arv_gv_fake_camera_new("lo", serial.c_str())) {
    if (camera == nullptr || !arv_gv_fake_camera_is_running(camera)) {
        if (camera != nullptr) g_object_unref(camera);
        throw EngineError(std::string("the camera simulator cannot listen on ") + address() +
                          " (is another one running?)");
    }
}

Simulator::~Simulator() { g_object_unref(camera); }

}  // namespace aravisengine
