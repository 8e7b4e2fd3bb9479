#include "tests/support/still_clip.h"

#include "video/clip_writer.h"

#include <cstdlib>
#include <cstring>

namespace kwo::test {

void writeStillClip(const std::string& path, const kwo::synthetic::SyntheticFrame& frame, int frames,
                    int framesPerSecond)
{
    kwo::ClipFormat format;
    format.width = frame.width;
    format.height = frame.height;
    format.frameCount = frames;
    format.framesPerSecond = framesPerSecond;
    format.encoding = kwo::ClipEncoding::Raw;
    kwo::writeClip(path, format, [&](int, std::uint8_t* bgrx) { std::memcpy(bgrx, frame.data(), frame.pixels.size()); });
}

bool showsFrame(const Picture& window, const kwo::synthetic::SyntheticFrame& frame, double share, double brightness)
{
    if (window.empty())
        return false;
    int samples = 0, alike = 0;
    for (int y = 8; y < window.height; y += 16)
        for (int x = 8; x < window.width; x += 16) {
            const std::uint8_t* f = frame.data() + (static_cast<std::size_t>(y * frame.height / window.height) *
                                                        frame.width +
                                                    x * frame.width / window.width) * 4;
            const Picture::Pixel p = window.at(x, y);
            const auto expected = [&](int i) { return static_cast<int>(f[i] * brightness); };
            ++samples;
            alike += std::abs(p.r - expected(2)) + std::abs(p.g - expected(1)) + std::abs(p.b - expected(0)) < 40;
        }
    return alike >= share * samples;
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
