#pragma once

#include "video/camera_mode.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kwo {

// Size of the frames a source delivers, in pixels.
struct FrameSize {
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize&) const = default;
};

// How a source is opened. At start-up the viewer waits for the device and
// learns the size of its frames; when a lost camera is reopened while the
// show goes on, nothing may hold the viewer up, and the frames must keep the
// size the viewer was built for.
struct SourceOptions {
    std::optional<FrameSize> frameSize; // scale every frame to this size
    bool inBackground = false; // return at once, already playing; trouble shows in failure()
    // A clip is read once, every frame in order at the reader's pace (not in
    // real time): after its last frame failure() says clipEnded. For
    // programs that analyse a recording rather than show it live.
    bool readOnce = false;
};

// What failure() says once a clip read once has given its last frame.
inline constexpr const char* clipEnded = "the clip ended";

// Where the frames of an open capture device come from: a real camera, a clip
// file played as a camera, or anything a test supplies. Every call comes from
// the program's one thread. A source is open from construction to
// destruction; its frame size is fixed once it is open: a stream that changes
// its size midway is scaled back to it.
class VideoSource {
public:
    virtual ~VideoSource() = default;

    // The size of every frame this source delivers.
    virtual FrameSize size() const = 0;

    // Frames begin to arrive (start) or stop arriving (stop). Both may be
    // called more than once.
    virtual void start() = 0;
    virtual void stop() = 0;

    // Hands out the newest frame that arrived since the last call:
    // size().width * size().height pixels of 4 bytes (blue, green, red, pad),
    // rows packed, the picture's top row first, as the screen shows it and
    // the marker detector reads it. The pixels are the caller's to read and
    // write until releaseFrame(), and stay where they are until then, whatever
    // arrives meanwhile. Returns null at once when no new frame is there or
    // one is still out. Frames that arrived in between are skipped. A source
    // that failed returns null from then on and never throws here.
    virtual std::uint8_t* takeNewestFrame() = 0;
    // Takes the frame handed out back (nothing when none is out). The source
    // takes it back itself when it is destroyed.
    virtual void releaseFrame() = 0;

    // How many frames have reached the end of the source since it was
    // opened, whether or not they were taken: a camera that keeps this still
    // has stopped, even while nobody asks for its pictures.
    virtual std::uint64_t framesArrived() const = 0;

    // Looks at what the source reported since the last look and says why it
    // stopped for good (the device's error, the end of a stream that does not
    // loop), or nothing while it plays.
    virtual std::string failure() = 0;
};

} // namespace kwo
