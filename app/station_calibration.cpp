#include "app/station_calibration.h"

#include "config/exception.h"
#include "tracking/ar/ar.h"

#include <cmath>
#include <numbers>

namespace kwo {

StationCalibration loadStationCalibration(const Setting& tracking, int width, int height)
{
    StationCalibration calibration;
    calibration.key = tracking.path() + "/params";
    calibration.file = tracking.text("params");
    std::string reason;
    if (ar::loadCalibration(calibration.file.c_str(), &calibration.loaded, &reason) < 0)
        throw Exception("Camera load error", calibration.key + ": " + reason);
    if (arParamChangeSize(&calibration.loaded, width, height, &calibration.resized) < 0 ||
        ar::initCalibration(&calibration.resized, &reason) < 0)
        throw Exception("Camera load error", calibration.key + ": calibration file '" + calibration.file +
                                                 "' does not fit frames of " + frameSizeText(width, height) + " (" +
                                                 reason + ")");
    return calibration;
}

std::optional<std::string> anotherShapeWarning(const StationCalibration& calibration, int width, int height)
{
    const ARParam& made = calibration.loaded;
    const double madeShape = static_cast<double>(made.xsize) / made.ysize;
    const double usedShape = static_cast<double>(width) / height;
    if (std::abs(madeShape / usedShape - 1) <= 0.01)
        return std::nullopt;
    const std::string size = frameSizeText(width, height);
    return "the calibration '" + calibration.file + "' (" + calibration.key + ") was made for " +
           frameSizeText(made.xsize, made.ysize) + " frames, but the camera gives " + size +
           ", another aspect ratio: creatures will stand off their markers. Calibrate at " + size +
           " (kwo-calibrate --size " + size + ").";
}

FieldOfView fieldOfView(const ARParam& calibration)
{
    const auto angle = [](double pixels, double focal) {
        return 2 * std::atan(pixels / (2 * focal)) * 180 / std::numbers::pi;
    };
    return {angle(calibration.xsize, calibration.mat[0][0]), angle(calibration.ysize, calibration.mat[1][1])};
}

std::string frameSizeText(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

} // namespace kwo
