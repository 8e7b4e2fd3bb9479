#include "video/video_devices.h"

#include "video/camera_list.h"
#include "video/clip_cameras.h"

#include <gst/gst.h>

#include <algorithm>
#include <cctype>

namespace kwo {
namespace {

std::string deviceProperty(GstDevice* device, const char* name)
{
    std::string value;
    if (GstStructure* properties = gst_device_get_properties(device)) {
        if (const gchar* text = gst_structure_get_string(properties, name))
            value = text;
        gst_structure_free(properties);
    }
    return value;
}

} // namespace

bool devicePathLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t iEnd = i, jEnd = j;
            while (iEnd < a.size() && std::isdigit(static_cast<unsigned char>(a[iEnd])))
                ++iEnd;
            while (jEnd < b.size() && std::isdigit(static_cast<unsigned char>(b[jEnd])))
                ++jEnd;
            const std::string x = a.substr(i, iEnd - i), y = b.substr(j, jEnd - j);
            const std::size_t xs = x.find_first_not_of('0'), ys = y.find_first_not_of('0');
            const std::string xn = xs == std::string::npos ? "" : x.substr(xs);
            const std::string yn = ys == std::string::npos ? "" : y.substr(ys);
            if (xn.size() != yn.size())
                return xn.size() < yn.size();
            if (xn != yn)
                return xn < yn;
            i = iEnd;
            j = jEnd;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<VideoDevice> findCameras()
{
    std::vector<VideoDevice> cameras;
    if (!gst_init_check(nullptr, nullptr, nullptr))
        return cameras;
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    // Where a sound server (PipeWire) provides cameras too, it hides the
    // v4l2 provider; show every provider and keep the v4l2 devices, each a
    // camera exactly once and openable by its device path.
    g_object_set(monitor, "show-all", TRUE, nullptr);
    // Starting the monitor probes the devices once; the list is read right away.
    if (gst_device_monitor_start(monitor)) {
        GList* devices = gst_device_monitor_get_devices(monitor);
        for (GList* item = devices; item; item = item->next) {
            GstDevice* device = GST_DEVICE(item->data);
            if (std::string(G_OBJECT_TYPE_NAME(device)) != "GstV4l2Device")
                continue;
            VideoDevice camera;
            camera.kind = VideoDevice::Kind::Camera;
            gchar* name = gst_device_get_display_name(device);
            camera.name = name ? name : "";
            g_free(name);
            camera.location = deviceProperty(device, "device.path");
            if (GstCaps* caps = gst_device_get_caps(device)) {
                gchar* text = gst_caps_to_string(caps);
                camera.caps = text ? text : "";
                g_free(text);
                gst_caps_unref(caps);
            }
            if (!camera.location.empty())
                cameras.push_back(std::move(camera));
        }
        g_list_free_full(devices, gst_object_unref);
        gst_device_monitor_stop(monitor);
    }
    gst_object_unref(monitor);
    // The monitor reports devices in reverse probe order; the device path
    // gives the order the system numbers them in.
    std::stable_sort(cameras.begin(), cameras.end(),
                     [](const VideoDevice& a, const VideoDevice& b) { return devicePathLess(a.location, b.location); });
    return cameras;
}

std::vector<VideoDevice> findVideoDevices()
{
    std::vector<VideoDevice> devices = findCameras();
    for (VideoDevice& clip : clipCamerasFromEnvironment())
        devices.push_back(std::move(clip));
    return devices;
}

void listCameras(CameraList& cameras)
{
    listCameras(findVideoDevices(), cameras);
}

void listCameras(const std::vector<VideoDevice>& devices, CameraList& cameras)
{
    for (const VideoDevice& device : devices)
        cameras.push_back(device.name);
}

} // namespace kwo
