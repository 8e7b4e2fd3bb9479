#include "video/clip_writer.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <memory>
#include <stdexcept>

namespace kwo {
namespace {

struct PipelineDeleter {
    void operator()(GstElement* element) const
    {
        gst_element_set_state(element, GST_STATE_NULL);
        gst_object_unref(element);
    }
};

std::string errorText(GstMessage* message)
{
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::string text = error ? error->message : "unknown error";
    g_clear_error(&error);
    return text;
}

} // namespace

void writeClip(const std::string& path, const ClipFormat& format, const FramePainter& paint)
{
    if (format.width <= 0 || format.height <= 0 || format.framesPerSecond <= 0 || format.frameCount <= 0)
        throw std::runtime_error(path + ": invalid clip format");
    gst_init(nullptr, nullptr);
    const std::string encoder = format.encoding == ClipEncoding::Raw ? "video/x-raw,format=BGR" : "jpegenc quality=90";
    const std::string text = "appsrc name=source format=time ! videoconvert ! " + encoder +
                             " ! matroskamux ! filesink name=sink";
    GError* error = nullptr;
    std::unique_ptr<GstElement, PipelineDeleter> pipeline(gst_parse_launch(text.c_str(), &error));
    if (error) {
        const std::string reason = error->message;
        g_clear_error(&error);
        throw std::runtime_error(path + ": " + reason);
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink");
    g_object_set(sink, "location", path.c_str(), nullptr);
    gst_object_unref(sink);

    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline.get()), "source");
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT,
                                        format.width, "height", G_TYPE_INT, format.height, "framerate",
                                        GST_TYPE_FRACTION, format.framesPerSecond, 1, nullptr);
    g_object_set(source, "caps", caps, nullptr);
    gst_caps_unref(caps);

    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    const std::size_t frameBytes = static_cast<std::size_t>(format.width) * format.height * 4;
    for (int i = 0; i < format.frameCount; ++i) {
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, frameBytes, nullptr);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        paint(i, map.data);
        gst_buffer_unmap(buffer, &map);
        GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(i, GST_SECOND, format.framesPerSecond);
        GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(1, GST_SECOND, format.framesPerSecond);
        gst_app_src_push_buffer(GST_APP_SRC(source), buffer); // takes the buffer
    }
    gst_app_src_end_of_stream(GST_APP_SRC(source));
    gst_object_unref(source);

    GstBus* bus = gst_element_get_bus(pipeline.get());
    GstMessage* message = gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND,
                                                     GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    gst_object_unref(bus);
    std::string failure;
    if (!message)
        failure = "writing took too long";
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
        failure = errorText(message);
    if (message)
        gst_message_unref(message);
    if (!failure.empty())
        throw std::runtime_error(path + ": " + failure);
}

FramePainter quarterPainter(int width, int height)
{
    return [=](int, std::uint8_t* frame) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = frame + (static_cast<std::size_t>(y) * width + x) * 4;
                const bool right = x >= width / 2, bottom = y >= height / 2;
                const int r = (!right && !bottom) || (right && bottom) ? 255 : 0;
                const int g = (right && !bottom) || (right && bottom) ? 255 : 0;
                const int b = (!right && bottom) || (right && bottom) ? 255 : 0;
                p[0] = static_cast<std::uint8_t>(b);
                p[1] = static_cast<std::uint8_t>(g);
                p[2] = static_cast<std::uint8_t>(r);
                p[3] = 255;
            }
    };
}

} // namespace kwo
