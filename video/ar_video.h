#pragma once

// The capture calls the viewer makes, C style, over one capture device per
// process (kwo::VideoCapture). All from one thread. Results follow the
// marker-tracking library's video interface: negative on failure.

// Opens the device a device text names (the text itself, not a file name).
// Negative when the text is malformed, names no device, or the device fails.
int arVideoOpen(const char* config);
// The frame size, once open; negative while closed.
int arVideoInqSize(int* width, int* height);
int arVideoCapStart();
// The newest frame not yet handed out (width * height pixels of blue, green,
// red, pad; rows packed, the picture's top row first), or null at once when
// there is none. The frame may be written to until arVideoCapNext, which
// gives it back: often it is the decoded picture itself, lent without a copy.
unsigned char* arVideoGetImage();
int arVideoCapNext();
int arVideoCapStop();
int arVideoClose();

#include <functional>
#include <string>

namespace kwo {

// Beyond the tracking library's video calls: a station's camera may be lost
// and come back while the viewer runs (see VideoCapture).

// True while the open device's camera is lost.
bool videoLost();
// Where the lines about a camera lost and back go (standard error until set).
void setVideoMessageSink(std::function<void(const std::string&)> sink);

} // namespace kwo
