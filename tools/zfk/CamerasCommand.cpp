// zfk cameras: the cameras Aravis finds, with what opens each.
#include <algorithm>
#include <memory>

#include "Commands.h"
#include "Discovery.h"
#include "EngineError.h"
#include "Simulator.h"

namespace zfk {

int runCameras(const CamerasOptions& options, const Console& console) {
    struct DeviceStack {
        ~DeviceStack() { aravisengine::shutDownDeviceStack(); }
    } stack;
    std::unique_ptr<aravisengine::Simulator> simulator;
    try {
        if (options.fake) simulator = std::make_unique<aravisengine::Simulator>();
    } catch (const aravisengine::EngineError& error) {
        fail(error.what());
    }
    const std::vector<aravisengine::CameraInfo> cameras = aravisengine::listCameras();
    if (cameras.empty()) {
        std::fprintf(console.out, "no cameras found\n");
        return 0;
    }
    std::vector<std::vector<std::string>> rows = {{"ID", "VENDOR", "MODEL", "SERIAL", "ADDRESS", "PROTOCOL"}};
    for (const aravisengine::CameraInfo& camera : cameras)
        rows.push_back({camera.id, camera.vendor, camera.model, camera.serial, camera.address, camera.protocol});
    std::vector<size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
    for (const auto& row : rows) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i)
            line += row[i] + (i + 1 < row.size() ? std::string(widths[i] - row[i].size() + 2, ' ') : "");
        std::fprintf(console.out, "%s\n", line.c_str());
    }
    return 0;
}

}  // namespace zfk
