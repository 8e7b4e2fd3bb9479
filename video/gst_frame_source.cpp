#include "video/gst_frame_source.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstring>
#include <iostream>
#include <stdexcept>

namespace kwo {
namespace {

// How long opening may take: a clip decodes its first frame, a camera starts.
constexpr GstClockTime openTimeout = 10 * GST_SECOND;

// The conversion tail every source shares: any decoded picture becomes packed
// BGRx, flipped as requested, and the sink keeps only the newest frame so a
// slow reader never holds the pipeline back.
std::string pipelineText(const std::string& head, bool clip)
{
    return head +
           " ! decodebin ! videoconvert ! videoflip name=flip"
           " ! video/x-raw,format=BGRx ! appsink name=sink max-buffers=1 drop=true sync=" +
           (clip ? "true" : "false");
}

const char* flipDirection(bool horizontal, bool vertical)
{
    // videoflip's "method" property is ignored by GStreamer 1.22; "video-direction" works.
    if (horizontal && vertical)
        return "180";
    if (horizontal)
        return "horiz";
    if (vertical)
        return "vert";
    return "identity";
}

std::string messageText(GstMessage* message)
{
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    std::string text = error && error->message ? error->message : "unknown error";
    g_clear_error(&error);
    g_free(debug);
    return text;
}

struct ElementDeleter {
    void operator()(GstElement* element) const
    {
        gst_element_set_state(element, GST_STATE_NULL);
        gst_object_unref(element);
    }
};
using Pipeline = std::unique_ptr<GstElement, ElementDeleter>;

class GstFrameSource final : public VideoSource {
public:
    GstFrameSource(Pipeline pipeline, std::string label, bool clip)
        : pipeline(std::move(pipeline)), label(std::move(label)), clip(clip)
    {
        sink = gst_bin_get_by_name(GST_BIN(this->pipeline.get()), "sink");
        bus = gst_element_get_bus(this->pipeline.get());
    }
    ~GstFrameSource() override
    {
        pipeline.reset();
        gst_object_unref(bus);
        gst_object_unref(sink);
    }
    GstFrameSource(const GstFrameSource&) = delete;
    GstFrameSource& operator=(const GstFrameSource&) = delete;

    // Brings the pipeline to PAUSED, so that a missing device or an unreadable
    // file fails here rather than while the viewer runs. `knownSize` is the
    // camera mode's size; a clip reports its own once its first frame is decoded.
    void open(std::optional<FrameSize> knownSize)
    {
        const GstStateChangeReturn change = gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
        GstStateChangeReturn settled = change;
        if (change == GST_STATE_CHANGE_ASYNC)
            settled = gst_element_get_state(pipeline.get(), nullptr, nullptr, openTimeout);
        if (GstMessage* error = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
            const std::string text = messageText(error);
            gst_message_unref(error);
            throw std::runtime_error(label + ": " + text);
        }
        if (settled == GST_STATE_CHANGE_FAILURE)
            throw std::runtime_error(label + ": cannot be played");
        if (settled == GST_STATE_CHANGE_ASYNC)
            throw std::runtime_error(label + ": no picture within 10 seconds");
        if (knownSize) {
            frameSize = *knownSize;
            return;
        }
        GstPad* pad = gst_element_get_static_pad(sink, "sink");
        GstCaps* caps = gst_pad_get_current_caps(pad);
        gst_object_unref(pad);
        GstVideoInfo info;
        const bool known = caps && gst_video_info_from_caps(&info, caps);
        if (caps)
            gst_caps_unref(caps);
        if (!known)
            throw std::runtime_error(label + ": no video picture");
        frameSize = {GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)};
        rateNumerator = GST_VIDEO_INFO_FPS_N(&info);
        rateDenominator = GST_VIDEO_INFO_FPS_D(&info);
    }

    CameraMode clipMode() const
    {
        return {"video/x-raw", "", frameSize.width, frameSize.height, rateNumerator, rateDenominator};
    }

    FrameSize size() const override { return frameSize; }

    void start() override
    {
        if (!failed)
            gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    }

    void stop() override
    {
        if (!failed)
            gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    }

    bool takeNewestFrame(std::uint8_t* frame) override
    {
        if (failed)
            return false;
        // The bus first: at the clip's end this takes the last frame. The sink
        // reuses one sample object, so no sample may still be held when it is
        // asked for the next one.
        GstSample* sample = nullptr;
        handleMessages(sample);
        if (!failed && !sample) {
            sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 0);
            if (sample)
                ++framesSinceStart;
        }
        if (!sample)
            return false;
        const bool copied = copyFrame(sample, frame);
        gst_sample_unref(sample);
        return copied;
    }

private:
    // Reacts to what the pipeline reported since the last look; the end of a
    // clip puts its last frame into `newest`.
    void handleMessages(GstSample*& newest)
    {
        while (!failed) {
            GstMessage* message = gst_bus_pop_filtered(bus, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
            if (!message)
                return;
            if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
                fail(messageText(message));
            else if (!clip)
                fail("the stream ended");
            else
                startOver(newest);
            gst_message_unref(message);
        }
    }

    // The clip's end: the last frame may still wait in the sink, and the
    // flushing seek would throw it away, so take it first. A flushing seek to
    // the start (unlike a segment seek) delivers every frame again.
    void startOver(GstSample*& newest)
    {
        if (!newest) {
            newest = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 0);
            if (newest)
                ++framesSinceStart;
        }
        // A clip that plays through without a single frame would loop forever unseen.
        if (framesSinceStart == 0) {
            fail("the clip gives no frames (unreadable or empty)");
            return;
        }
        framesSinceStart = 0;
        if (!gst_element_seek_simple(pipeline.get(), GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0))
            fail("cannot start the clip over");
    }

    void fail(const std::string& text)
    {
        failed = true;
        std::cerr << "Video: " << label << ": " << text << std::endl;
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    }

    bool copyFrame(GstSample* sample, std::uint8_t* frame)
    {
        GstVideoInfo info;
        GstCaps* caps = gst_sample_get_caps(sample);
        if (!caps || !gst_video_info_from_caps(&info, caps))
            return false;
        // A stream that changes its size midway cannot be shown in the
        // buffer the viewer was built for.
        if (GST_VIDEO_INFO_WIDTH(&info) != frameSize.width || GST_VIDEO_INFO_HEIGHT(&info) != frameSize.height)
            return false;
        GstVideoFrame mapped;
        if (!gst_video_frame_map(&mapped, &info, gst_sample_get_buffer(sample), GST_MAP_READ))
            return false;
        const auto* source = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped, 0));
        const std::size_t stride = GST_VIDEO_FRAME_PLANE_STRIDE(&mapped, 0);
        const std::size_t row = static_cast<std::size_t>(frameSize.width) * 4;
        // Bottom row first: the viewer reverses the rows of every frame
        // before use, as the frames of a Windows capture device come.
        for (int y = 0; y < frameSize.height; ++y)
            std::memcpy(frame + (frameSize.height - 1 - y) * row, source + y * stride, row);
        gst_video_frame_unmap(&mapped);
        return true;
    }

    Pipeline pipeline;
    GstElement* sink = nullptr;
    GstBus* bus = nullptr;
    std::string label;
    bool clip;
    bool failed = false;
    FrameSize frameSize;
    int rateNumerator = 0;
    int rateDenominator = 1;
    long framesSinceStart = 0; // frames taken since the clip last started over
};

Pipeline makePipeline(const std::string& text, const std::string& label)
{
    GError* error = nullptr;
    GstElement* element = gst_parse_launch(text.c_str(), &error);
    if (error) {
        const std::string reason = error->message;
        g_clear_error(&error);
        if (element)
            gst_object_unref(element);
        throw std::runtime_error(label + ": " + reason);
    }
    return Pipeline(element);
}

void configureFlip(GstElement* pipeline, const DeviceRequest& request)
{
    GstElement* flip = gst_bin_get_by_name(GST_BIN(pipeline), "flip");
    gst_util_set_object_arg(G_OBJECT(flip), "video-direction",
                            flipDirection(request.flipHorizontal, request.flipVertical));
    gst_object_unref(flip);
}

void setByName(GstElement* pipeline, const char* element, const char* property, const std::string& value)
{
    GstElement* child = gst_bin_get_by_name(GST_BIN(pipeline), element);
    g_object_set(child, property, value.c_str(), nullptr);
    gst_object_unref(child);
}

std::unique_ptr<VideoSource> openClip(const VideoDevice& device, const DeviceRequest& request,
                                      const ModeChooser& chooseMode)
{
    Pipeline pipeline = makePipeline(pipelineText("filesrc name=source", true), device.location);
    // The path is set as a property, not written into the pipeline text, so
    // any character in it is safe.
    setByName(pipeline.get(), "source", "location", device.location);
    configureFlip(pipeline.get(), request);
    auto source = std::make_unique<GstFrameSource>(std::move(pipeline), device.location, true);
    source->open(std::nullopt);
    // A clip has exactly one mode, its own; the dialog still shows it.
    if (request.showFormatDialog && chooseMode)
        chooseMode({source->clipMode()}, 0);
    return source;
}

std::unique_ptr<VideoSource> openCamera(const VideoDevice& device, const DeviceRequest& request,
                                        const ModeChooser& chooseMode)
{
    const std::string label = device.name + " (" + device.location + ")";
    std::optional<std::size_t> choice = closestMode(device.modes, request.width, request.height);
    if (!choice)
        throw std::runtime_error(label + ": the camera offers no picture mode");
    if (request.showFormatDialog && chooseMode)
        choice = chooseMode(device.modes, *choice);
    const CameraMode& mode = device.modes.at(*choice);

    // Pinning the mode right after the source keeps the camera from
    // fixating on whatever gives the highest frame rate.
    Pipeline pipeline =
        makePipeline(pipelineText("v4l2src name=source ! capsfilter name=mode", false), label);
    setByName(pipeline.get(), "source", "device", device.location);
    GstCaps* caps = gst_caps_from_string(mode.capsText().c_str());
    GstElement* filter = gst_bin_get_by_name(GST_BIN(pipeline.get()), "mode");
    g_object_set(filter, "caps", caps, nullptr);
    gst_object_unref(filter);
    gst_caps_unref(caps);
    configureFlip(pipeline.get(), request);
    auto source = std::make_unique<GstFrameSource>(std::move(pipeline), label, false);
    source->open(FrameSize{mode.width, mode.height});
    return source;
}

} // namespace

std::unique_ptr<VideoSource> openGstSource(const VideoDevice& device, const DeviceRequest& request,
                                           const ModeChooser& chooseMode)
{
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        const std::string reason = error ? error->message : "GStreamer cannot start";
        g_clear_error(&error);
        throw std::runtime_error(reason);
    }
    return device.kind == VideoDevice::Kind::Clip ? openClip(device, request, chooseMode)
                                                  : openCamera(device, request, chooseMode);
}

} // namespace kwo
