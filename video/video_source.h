#pragma once

#include "video/camera_mode.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kwo {

// Size of the frames a source delivers, in pixels.
struct FrameSize {
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize&) const = default;
};

// Where the frames of an open capture device come from: a real camera, a clip
// file played as a camera, or anything a test supplies. Every call comes from
// the program's one thread. A source is open from construction to
// destruction; its frame size is fixed once it is open.
class VideoSource {
public:
    virtual ~VideoSource() = default;

    // The size of every frame this source delivers.
    virtual FrameSize size() const = 0;

    // Frames begin to arrive (start) or stop arriving (stop). Both may be
    // called more than once.
    virtual void start() = 0;
    virtual void stop() = 0;

    // Copies the newest frame that arrived since the last call into `frame`
    // (size().width * size().height pixels of 4 bytes, blue, green, red, pad,
    // rows packed, the picture's bottom row first) and returns true; returns
    // false at once
    // when no new frame is there. Frames that arrived in between are skipped.
    // A source that failed returns false from then on; it writes its first
    // error once on the standard error stream and never throws here.
    virtual bool takeNewestFrame(std::uint8_t* frame) = 0;
};

} // namespace kwo
