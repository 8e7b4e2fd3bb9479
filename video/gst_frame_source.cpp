#include "video/gst_frame_source.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <cstring>
#include <stdexcept>

namespace kwo {
namespace {

// How long opening at start-up may take: a clip decodes its first frame, a camera starts.
constexpr GstClockTime openTimeout = 10 * GST_SECOND;

const char* flipDirection(bool horizontal, bool vertical)
{
    // videoflip's "method" property is ignored by GStreamer 1.22; "video-direction" works.
    if (horizontal && vertical)
        return "180";
    if (horizontal)
        return "horiz";
    return "vert";
}

// The conversion tail every source shares: any decoded picture becomes packed
// BGRx of one size (a stream that changes its size midway is scaled back to
// it), flipped as requested, and the sink keeps only the newest frame so a
// slow reader never holds the pipeline back. videoflip copies every frame
// even when it has nothing to do, so it is there only when a flip is asked.
// A clip read once waits for its reader instead: every frame, no clock.
std::string pipelineText(const std::string& head, const DeviceRequest& request, bool clip, bool readOnce = false)
{
    std::string text = head + " ! decodebin ! videoconvert ! videoscale";
    if (request.flipHorizontal || request.flipVertical)
        text += std::string(" ! videoflip video-direction=") +
                flipDirection(request.flipHorizontal, request.flipVertical);
    text += " ! capsfilter name=shape caps=video/x-raw,format=BGRx";
    if (readOnce)
        return text + " ! appsink name=sink max-buffers=1 drop=false sync=false";
    return text + " ! appsink name=sink max-buffers=1 drop=true sync=" + (clip ? "true" : "false");
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

// The size (and pixel shape) every frame leaves the pipeline with.
struct Shape {
    FrameSize size;
    int parNumerator = 1;
    int parDenominator = 1;
};

class GstFrameSource final : public VideoSource {
public:
    GstFrameSource(Pipeline pipeline, std::string label, bool clip, bool readOnce = false)
        : pipeline(std::move(pipeline)), label(std::move(label)), clip(clip), readOnce(readOnce)
    {
        sink = gst_bin_get_by_name(GST_BIN(this->pipeline.get()), "sink");
        bus = gst_element_get_bus(this->pipeline.get());
        GstPad* pad = gst_element_get_static_pad(sink, "sink");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, countFrame, this, nullptr);
        gst_object_unref(pad);
    }
    ~GstFrameSource() override
    {
        if (pending)
            gst_sample_unref(pending);
        // Stops the streaming threads, and with them the frame count, first.
        pipeline.reset();
        gst_object_unref(bus);
        gst_object_unref(sink);
    }
    GstFrameSource(const GstFrameSource&) = delete;
    GstFrameSource& operator=(const GstFrameSource&) = delete;

    // Every frame from now on has this size and pixel shape.
    void pin(const Shape& shape)
    {
        frameSize = shape.size;
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT,
                                            shape.size.width, "height", G_TYPE_INT, shape.size.height,
                                            "pixel-aspect-ratio", GST_TYPE_FRACTION, shape.parNumerator,
                                            shape.parDenominator, nullptr);
        GstElement* filter = gst_bin_get_by_name(GST_BIN(pipeline.get()), "shape");
        g_object_set(filter, "caps", caps, nullptr);
        gst_object_unref(filter);
        gst_caps_unref(caps);
    }

    // Brings the pipeline to PAUSED, so that a missing device or an unreadable
    // file fails here rather than while the viewer runs. A source whose size
    // is not pinned yet (a clip) takes the size of its first frame.
    void openAndWait()
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
        if (frameSize.width > 0)
            return;
        GstPad* pad = gst_element_get_static_pad(sink, "sink");
        GstCaps* caps = gst_pad_get_current_caps(pad);
        gst_object_unref(pad);
        GstVideoInfo info;
        const bool known = caps && gst_video_info_from_caps(&info, caps);
        if (caps)
            gst_caps_unref(caps);
        if (!known)
            throw std::runtime_error(label + ": no video picture");
        rateNumerator = GST_VIDEO_INFO_FPS_N(&info);
        rateDenominator = GST_VIDEO_INFO_FPS_D(&info);
        pin({{GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)},
             GST_VIDEO_INFO_PAR_N(&info),
             GST_VIDEO_INFO_PAR_D(&info)});
    }

    // Starts playing without waiting for anything: problems show later
    // through failure().
    void openInBackground()
    {
        if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
            throw std::runtime_error(label + ": cannot be played");
    }

    CameraMode clipMode() const
    {
        return {"video/x-raw", "", frameSize.width, frameSize.height, rateNumerator, rateDenominator};
    }

    FrameSize size() const override { return frameSize; }

    void start() override
    {
        if (reason.empty())
            gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    }

    void stop() override
    {
        if (reason.empty())
            gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    }

    bool takeNewestFrame(std::uint8_t* frame) override
    {
        // The bus first: at the clip's end this keeps the last frame aside.
        // The sink reuses one sample object, so no sample may still be held
        // when it is asked for the next one.
        handleMessages();
        if (!reason.empty() && !(ended && pending))
            return false;
        GstSample* sample = pending;
        pending = nullptr;
        if (!sample) {
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

    std::uint64_t framesArrived() const override { return arrived.load(std::memory_order_relaxed); }

    std::string failure() override
    {
        handleMessages();
        return reason;
    }

private:
    static GstPadProbeReturn countFrame(GstPad*, GstPadProbeInfo*, gpointer self)
    {
        static_cast<GstFrameSource*>(self)->arrived.fetch_add(1, std::memory_order_relaxed);
        return GST_PAD_PROBE_OK;
    }

    // Reacts to what the pipeline reported since the last look.
    void handleMessages()
    {
        while (reason.empty()) {
            GstMessage* message = gst_bus_pop_filtered(bus, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
            if (!message)
                return;
            if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
                fail(messageText(message));
            else if (!clip)
                fail("the stream ended");
            else if (readOnce)
                end();
            else
                startOver();
            gst_message_unref(message);
        }
    }

    // The clip's end: the last frame may still wait in the sink, and the
    // flushing seek would throw it away, so it is set aside first. A flushing
    // seek to the start (unlike a segment seek) delivers every frame again.
    void startOver()
    {
        if (!pending) {
            pending = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 0);
            if (pending)
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

    // A clip read once: its last frame may still wait in the sink and is
    // handed out before the end shows.
    void end()
    {
        if (!pending)
            pending = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 0);
        ended = true;
        reason = clipEnded;
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    }

    void fail(const std::string& text)
    {
        reason = text;
        if (pending) {
            gst_sample_unref(pending);
            pending = nullptr;
        }
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    }

    bool copyFrame(GstSample* sample, std::uint8_t* frame)
    {
        GstVideoInfo info;
        GstCaps* caps = gst_sample_get_caps(sample);
        if (!caps || !gst_video_info_from_caps(&info, caps))
            return false;
        // The pipeline scales every frame to the pinned size; a frame of
        // another size can only have been on its way before the pin.
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
    bool readOnce;
    bool ended = false; // a clip read once came to its end
    std::string reason; // why the source stopped; empty while it plays
    FrameSize frameSize;
    int rateNumerator = 0;
    int rateDenominator = 1;
    long framesSinceStart = 0;     // frames taken since the clip last started over
    GstSample* pending = nullptr;  // the clip's last frame, kept aside while it starts over
    std::atomic<std::uint64_t> arrived{0}; // counted on the streaming thread
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

void setByName(GstElement* pipeline, const char* element, const char* property, const std::string& value)
{
    GstElement* child = gst_bin_get_by_name(GST_BIN(pipeline), element);
    g_object_set(child, property, value.c_str(), nullptr);
    gst_object_unref(child);
}

std::unique_ptr<VideoSource> openClip(const VideoDevice& device, const DeviceRequest& request,
                                      const SourceOptions& options, const ModeChooser& chooseMode)
{
    Pipeline pipeline =
        makePipeline(pipelineText("filesrc name=source", request, true, options.readOnce), device.location);
    // The path is set as a property, not written into the pipeline text, so
    // any character in it is safe.
    setByName(pipeline.get(), "source", "location", device.location);
    auto source = std::make_unique<GstFrameSource>(std::move(pipeline), device.location, true, options.readOnce);
    if (options.frameSize)
        source->pin({*options.frameSize});
    if (options.inBackground) {
        source->openInBackground();
        return source;
    }
    source->openAndWait();
    // A clip has exactly one mode, its own; the dialog still shows it.
    if (request.showFormatDialog && chooseMode)
        chooseMode({source->clipMode()}, 0);
    return source;
}

std::unique_ptr<VideoSource> openCamera(const VideoDevice& device, const DeviceRequest& request,
                                        const SourceOptions& options, const ModeChooser& chooseMode)
{
    const std::string label = device.location.empty() ? device.name : device.name + " (" + device.location + ")";
    const std::vector<CameraMode> modes = modesFromCapsText(device.caps, request.width, request.height);
    std::optional<std::size_t> choice = closestMode(modes, request.width, request.height);
    if (!choice)
        throw std::runtime_error(label + ": the camera offers no picture mode");
    if (request.showFormatDialog && chooseMode && !options.inBackground)
        choice = chooseMode(modes, *choice);
    const CameraMode& mode = modes.at(*choice);

    // Pinning the mode right after the source keeps the camera from
    // fixating on whatever gives the highest frame rate.
    Pipeline pipeline =
        makePipeline(pipelineText(device.source + " name=source ! capsfilter name=mode", request, false), label);
    if (!device.location.empty())
        setByName(pipeline.get(), "source", "device", device.location);
    GstCaps* caps = gst_caps_from_string(mode.capsText().c_str());
    GstElement* filter = gst_bin_get_by_name(GST_BIN(pipeline.get()), "mode");
    g_object_set(filter, "caps", caps, nullptr);
    gst_object_unref(filter);
    gst_caps_unref(caps);
    auto source = std::make_unique<GstFrameSource>(std::move(pipeline), label, false);
    source->pin({options.frameSize.value_or(FrameSize{mode.width, mode.height})});
    if (options.inBackground)
        source->openInBackground();
    else
        source->openAndWait();
    return source;
}

} // namespace

std::unique_ptr<VideoSource> openGstSource(const VideoDevice& device, const DeviceRequest& request,
                                           const SourceOptions& options, const ModeChooser& chooseMode)
{
    GError* error = nullptr;
    if (!gst_init_check(nullptr, nullptr, &error)) {
        const std::string reason = error ? error->message : "GStreamer cannot start";
        g_clear_error(&error);
        throw std::runtime_error(reason);
    }
    return device.kind == VideoDevice::Kind::Clip ? openClip(device, request, options, chooseMode)
                                                  : openCamera(device, request, options, chooseMode);
}

} // namespace kwo
