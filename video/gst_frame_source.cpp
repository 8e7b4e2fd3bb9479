#include "video/gst_frame_source.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <vector>

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
// it), flipped as requested. videoflip copies every frame even when it has
// nothing to do, so it is there only when a flip is asked. The sink hands
// each frame, when its time has come, to the source, which keeps only the
// newest, so a slow reader never holds the pipeline back. The sink keeps no
// reference of its own ("last sample"), so the frame the source keeps is
// usually its only holder and can be lent out for writing without a copy.
// A clip read once waits for its reader instead: every frame, no clock.
std::string pipelineText(const std::string& head, const DeviceRequest& request, bool clip, bool readOnce = false)
{
    std::string text = head + " ! decodebin ! videoconvert ! videoscale";
    if (request.flipHorizontal || request.flipVertical)
        text += std::string(" ! videoflip video-direction=") +
                flipDirection(request.flipHorizontal, request.flipVertical);
    return text + " ! capsfilter name=shape caps=video/x-raw,format=BGRx"
                  " ! fakesink name=sink signal-handoffs=true enable-last-sample=false sync=" +
           (clip && !readOnce ? "true" : "false");
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

// Maps a frame without another reference on its buffer: the source holds one.
GstMapFlags mapFlags(GstMapFlags access)
{
    return GstMapFlags(static_cast<int>(access) | static_cast<int>(GST_VIDEO_FRAME_MAP_FLAG_NO_REF));
}

// The newest frame the sink handed over and the caps it came with; both
// owned (one reference each) or both null.
struct Arrival {
    GstBuffer* buffer = nullptr;
    GstCaps* caps = nullptr;

    void clear()
    {
        if (buffer)
            gst_buffer_unref(buffer);
        if (caps)
            gst_caps_unref(caps);
        buffer = nullptr;
        caps = nullptr;
    }
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
        g_signal_connect(sink, "handoff", G_CALLBACK(keepFrame), this);
    }
    ~GstFrameSource() override
    {
        releaseFrame();
        stopHandovers();
        // Stops the streaming threads, and with them the frame count and the
        // handovers, first.
        pipeline.reset();
        newest.clear();
        gst_caps_replace(&capsRead, nullptr);
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
        if (!reason.empty())
            return;
        {
            const std::lock_guard<std::mutex> lock(newestLock);
            stopping = false;
        }
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    }

    void stop() override
    {
        if (!reason.empty())
            return;
        stopHandovers();
        gst_element_set_state(pipeline.get(), GST_STATE_PAUSED);
    }

    std::uint8_t* takeNewestFrame() override
    {
        handleMessages();
        if (!reason.empty() || lent.buffer)
            return nullptr;
        {
            const std::lock_guard<std::mutex> lock(newestLock);
            lent = newest;
            newest = {};
        }
        taken.notify_all();
        if (!lent.buffer)
            return nullptr;
        std::uint8_t* pixels = lend();
        if (!pixels)
            lent.clear();
        return pixels;
    }

    void releaseFrame() override
    {
        if (mapped) {
            gst_video_frame_unmap(&lentFrame);
            mapped = false;
        }
        lent.clear();
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

    // On the streaming thread, when the frame's time has come: it replaces
    // the newest one not yet taken. Only references change hands here.
    static void keepFrame(GstElement*, GstBuffer* buffer, GstPad* pad, gpointer data)
    {
        auto* self = static_cast<GstFrameSource*>(data);
        Arrival arrival{gst_buffer_ref(buffer), gst_pad_get_current_caps(pad)};
        {
            std::unique_lock<std::mutex> lock(self->newestLock);
            // Read once, no frame may be passed over: wait until the reader
            // took the one before.
            if (self->readOnce)
                self->taken.wait(lock, [self] { return !self->newest.buffer || self->stopping; });
            std::swap(self->newest, arrival);
        }
        arrival.clear(); // the frame nobody took, outside the lock
    }

    // The pixels of the frame in `lent`, top row first, rows packed: the
    // decoded buffer itself, mapped for writing, when nothing else holds it
    // and its rows are packed; else one straight copy of it. Null when the
    // frame is not of the pinned size (one on its way before the pin).
    std::uint8_t* lend()
    {
        if (!lent.caps)
            return nullptr;
        // Caps change rarely: read them once, not frame after frame.
        if (lent.caps != capsRead) {
            gst_caps_replace(&capsRead, lent.caps);
            frameInfoKnown = gst_video_info_from_caps(&frameInfo, capsRead);
        }
        if (!frameInfoKnown)
            return nullptr;
        if (GST_VIDEO_INFO_WIDTH(&frameInfo) != frameSize.width ||
            GST_VIDEO_INFO_HEIGHT(&frameInfo) != frameSize.height)
            return nullptr;
        const std::size_t row = static_cast<std::size_t>(frameSize.width) * 4;
        const auto flags = mapFlags(GST_MAP_READWRITE);
        if (ownedAlone(lent.buffer) && gst_video_frame_map(&lentFrame, &frameInfo, lent.buffer, flags)) {
            if (static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&lentFrame, 0)) == row) {
                mapped = true;
                return static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&lentFrame, 0));
            }
            gst_video_frame_unmap(&lentFrame);
        }
        GstVideoFrame source;
        if (!gst_video_frame_map(&source, &frameInfo, lent.buffer, mapFlags(GST_MAP_READ)))
            return nullptr;
        copy.resize(row * static_cast<std::size_t>(frameSize.height));
        const auto* pixels = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&source, 0));
        const std::size_t stride = GST_VIDEO_FRAME_PLANE_STRIDE(&source, 0);
        if (stride == row)
            std::memcpy(copy.data(), pixels, copy.size());
        else
            for (int y = 0; y < frameSize.height; ++y)
                std::memcpy(copy.data() + y * row, pixels + y * stride, row);
        gst_video_frame_unmap(&source);
        return copy.data();
    }

    // Writing into a buffer is safe only when this source holds its only
    // reference and its memory is not shared with another buffer (a slice
    // of the demuxer's data, say): a buffer still on its way through the
    // sink, or a frame decoded into shared memory, is copied instead.
    static bool ownedAlone(GstBuffer* buffer)
    {
        if (!gst_buffer_is_writable(buffer))
            return false;
        for (guint i = 0; i < gst_buffer_n_memory(buffer); ++i)
            if (!gst_memory_is_writable(gst_buffer_peek_memory(buffer, i)))
                return false;
        return true;
    }

    // Reacts to what the pipeline reported since the last look. The end of
    // the stream waits until its last frame has been taken: a stream that
    // ends at once (frames without times come as fast as they decode) still
    // shows its last picture, and a clip starts over only after it.
    void handleMessages()
    {
        while (reason.empty()) {
            if (endReached) {
                if (frameWaiting())
                    return;
                endReached = false;
                if (clip && readOnce)
                    end();
                else if (clip)
                    startOver();
                else
                    fail("the stream ended");
                continue;
            }
            GstMessage* message = gst_bus_pop_filtered(bus, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
            if (!message)
                return;
            if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
                fail(messageText(message));
            else
                endReached = true;
            gst_message_unref(message);
        }
    }

    bool frameWaiting()
    {
        const std::lock_guard<std::mutex> lock(newestLock);
        return newest.buffer != nullptr;
    }

    // The clip's end, its last frame taken. A flushing seek to the start
    // (unlike a segment seek) delivers every frame again.
    void startOver()
    {
        const std::uint64_t count = arrived.load(std::memory_order_relaxed);
        // A clip that plays through without a single frame would loop forever unseen.
        if (count == arrivedAtStart) {
            fail("the clip gives no frames (unreadable or empty)");
            return;
        }
        arrivedAtStart = count;
        if (!gst_element_seek_simple(pipeline.get(), GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0))
            fail("cannot start the clip over");
    }

    // A clip read once has given its last frame.
    void end()
    {
        reason = clipEnded;
        stopHandovers();
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    }

    // A streaming thread waiting for the reader must not keep the pipeline
    // from stopping.
    void stopHandovers()
    {
        {
            const std::lock_guard<std::mutex> lock(newestLock);
            stopping = true;
        }
        taken.notify_all();
    }

    void fail(const std::string& text)
    {
        reason = text;
        stopHandovers();
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        const std::lock_guard<std::mutex> lock(newestLock);
        newest.clear();
    }

    Pipeline pipeline;
    GstElement* sink = nullptr;
    GstBus* bus = nullptr;
    std::string label;
    bool clip;
    bool readOnce; // every frame in order at the reader's pace, then clipEnded
    std::string reason; // why the source stopped; empty while it plays
    FrameSize frameSize;
    int rateNumerator = 0;
    int rateDenominator = 1;
    std::uint64_t arrivedAtStart = 0;      // the frame count when the clip last started over
    bool endReached = false;               // the stream ended; its last frame not taken yet
    std::atomic<std::uint64_t> arrived{0}; // counted on the streaming thread

    std::mutex newestLock; // between the streaming thread and the program's
    Arrival newest;        // the newest frame not yet taken
    std::condition_variable taken; // a frame read once was taken, or the source stops
    bool stopping = false;

    Arrival lent;                // the frame handed out, until it is given back
    GstVideoFrame lentFrame{};   // its mapping, when it is lent in place
    bool mapped = false;
    std::vector<std::uint8_t> copy; // else its copy, reused frame after frame

    GstCaps* capsRead = nullptr; // the caps frameInfo was read from
    GstVideoInfo frameInfo{};
    bool frameInfoKnown = false;
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
