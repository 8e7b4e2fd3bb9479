#pragma once

#include <chrono>
#include <ostream>
#include <string>

namespace kwo {

// What the station check takes as a fault beyond what stops a start-up.
struct StationCheckLimits {
    // Two patterns whose best match (the tracker's cosine, -1..1) reaches this
    // could be taken one for the other; the marker tool warns at the same.
    double confusionLimit = 0.5;
    // A calibration implying an angle of view across the frame outside this
    // range (degrees) is no station webcam's: likely made at another size or
    // from too few views.
    double narrowestView = 20;
    double widestView = 120;
    // Focal lengths across and down the frame differing by more than this
    // factor: square pixels were measured as oblong.
    double pixelShapeLimit = 1.1;
    // A picture whose darkest and lightest grey (0..255) are less apart
    // than this is one flat surface and noise (a covered lens, a dark room):
    // it suggests no threshold and is warned of.
    int flatPictureContrast = 32;
    // How long the camera has to give its one picture once opened, as long
    // as a start-up gives it.
    std::chrono::milliseconds firstFrame{10000};
};

// `kwo --check [document]`: everything a start-up with the main document
// `configPath` checks, short of opening the show's window. The documents
// and their keys, the media archives (every member's CRC), the patterns
// (and how alike they are with the tracker's own measure), the camera (its
// mode, one picture taken, and the threshold that picture suggests), the
// calibration against the camera's frames, whether the display can be
// reached, and whether the program folder and the files the viewer writes
// there can be written. Runs in the program
// folder as the viewer does, shows no dialog, writes no file ("user.config"
// and "ogre.log" stay as they are) and holds the camera only for a moment.
// One line per check on `out` (see CheckReport); returns 0 when the
// station would start, 1 when it would not.
int checkStation(const std::string& configPath, std::ostream& out, const StationCheckLimits& limits = {});

} // namespace kwo
