// Calibration files: any bytes, asked for one to three records. A record that
// loads must be one the tracker can compute with.
#include "tracking/ar/calibration.h"

#include "fuzz/scratch_file.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const kwo::fuzz::ScratchFile file("camera.dat");
    const int count = 1 + data[0] % 3;
    file.write(data + 1, size - 1);
    std::vector<ARParam> records;
    std::string error;
    if (!kwo::ar::readCalibrationFile(file.path(), count, records, &error)) {
        if (error.find(file.path()) == std::string::npos)
            std::abort(); // every refusal names the file
        return 0;
    }
    if (records.size() != static_cast<std::size_t>(count))
        std::abort();
    for (const ARParam& record : records) {
        kwo::ar::Calibration prepared;
        if (!kwo::ar::prepareCalibration(record, prepared))
            std::abort(); // read but unusable
        // The frame sizes a station may ask for keep the record usable or
        // refuse it; neither may crash.
        for (const int width : {160, 320, 640, 1920}) {
            const ARParam resized = kwo::ar::changeSize(record, width, width * 3 / 4);
            if (kwo::ar::isUsable(resized)) {
                double ix, iy, ox, oy;
                kwo::ar::observedToIdeal(resized.dist_factor, 0, 0, ix, iy);
                kwo::ar::idealToObserved(resized.dist_factor, ix, iy, ox, oy);
                if (!std::isfinite(ox) || !std::isfinite(oy))
                    std::abort();
            }
        }
    }
    return 0;
}
