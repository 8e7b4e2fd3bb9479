#include "tests/viewer/still_clip.h"

#include "video/clip_writer.h"

#include <cstring>

namespace kwo::test {

void writeStillClip(const std::string& path, const kwo::synthetic::SyntheticFrame& frame)
{
    kwo::ClipFormat format;
    format.width = frame.width;
    format.height = frame.height;
    format.frameCount = 5;
    format.framesPerSecond = 10;
    format.encoding = kwo::ClipEncoding::Raw;
    kwo::writeClip(path, format, [&](int, std::uint8_t* bgrx) { std::memcpy(bgrx, frame.data(), frame.pixels.size()); });
}

std::vector<kwo::synthetic::PrintedMarker> fourMarkersOnATable()
{
    std::vector<kwo::synthetic::PrintedMarker> markers;
    const struct {
        const char* design;
        double x, y;
    } placed[] = {{"Quillmoth", -120, -60}, {"Brackenjaw", 120, -60}, {"Sliverfin", -120, 90}, {"Mossglider", 120, 90}};
    for (const auto& [design, x, y] : placed) {
        kwo::synthetic::PrintedMarker marker;
        marker.picture = kwo::synthetic::designPicture(design);
        marker.width = 83;
        kwo::synthetic::makePose(-35, 0, 15, x, y, 600, marker.pose);
        markers.push_back(marker);
    }
    return markers;
}

} // namespace kwo::test
