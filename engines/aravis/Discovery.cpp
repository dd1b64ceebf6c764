#include "Discovery.h"

#include <arv.h>

namespace aravisengine {

namespace {

std::string text(const char* value) { return value != nullptr ? value : ""; }

}  // namespace

std::vector<CameraInfo> listCameras() {
    arv_update_device_list();
    std::vector<CameraInfo> cameras;
    for (unsigned i = 0; i < arv_get_n_devices(); ++i)
        cameras.push_back(CameraInfo{text(arv_get_device_id(i)), text(arv_get_device_vendor(i)),
                                     text(arv_get_device_model(i)), text(arv_get_device_serial_nbr(i)),
                                     text(arv_get_device_address(i)), text(arv_get_device_protocol(i))});
    return cameras;
}

void shutDownDeviceStack() { arv_shutdown(); }

}  // namespace aravisengine
