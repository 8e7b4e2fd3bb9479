#include "tracking/ar/calibration.h"

#include "files/read_file.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace kwo::ar {

namespace {

void fail(std::string* error, const std::string& text) {
    if (error) *error = text;
}

std::uint64_t readBigEndian(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | bytes[i];
    return value;
}

void writeBigEndian(unsigned char* bytes, std::uint64_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        bytes[i] = static_cast<unsigned char>(value & 0xff);
        value >>= 8;
    }
}

double readDouble(const unsigned char* bytes) {
    std::uint64_t bits = readBigEndian(bytes, 8);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void writeDouble(unsigned char* bytes, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    writeBigEndian(bytes, bits, 8);
}

ARParam decodeRecord(const unsigned char* bytes) {
    ARParam param{};
    param.xsize = static_cast<std::int32_t>(readBigEndian(bytes, 4));
    param.ysize = static_cast<std::int32_t>(readBigEndian(bytes + 4, 4));
    const unsigned char* p = bytes + 8;
    for (auto& row : param.mat)
        for (double& value : row) { value = readDouble(p); p += 8; }
    for (double& value : param.dist_factor) { value = readDouble(p); p += 8; }
    return param;
}

double norm3(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }
double dot3(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

} // namespace

bool checkCalibration(const ARParam& param, std::string* reason) {
    const auto refuse = [&](const std::string& why) {
        fail(reason, why);
        return false;
    };
    if (param.xsize <= 0 || param.ysize <= 0 || param.xsize > 65536 || param.ysize > 65536)
        return refuse("image size " + std::to_string(param.xsize) + "x" + std::to_string(param.ysize));
    for (const auto& row : param.mat)
        for (double value : row)
            if (!std::isfinite(value)) return refuse("a projection value is not a number");
    for (double value : param.dist_factor)
        if (!std::isfinite(value)) return refuse("a distortion value is not a number");
    const double width = param.xsize, height = param.ysize;
    if (!(param.dist_factor[3] >= 0.5 && param.dist_factor[3] <= 2.0))
        return refuse("distortion scale outside 0.5..2");
    double cpara[3][4], trans[3][4];
    if (!decomposeProjection(param.mat, cpara, trans)) return refuse("degenerate projection");
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(cpara[r][c]) || !std::isfinite(trans[r][c])) return refuse("degenerate projection");
    // A mirrored camera frame (a negative focal length) decomposes into a
    // rotation with determinant -1.
    const double determinant = trans[0][0] * (trans[1][1] * trans[2][2] - trans[1][2] * trans[2][1]) -
                               trans[0][1] * (trans[1][0] * trans[2][2] - trans[1][2] * trans[2][0]) +
                               trans[0][2] * (trans[1][0] * trans[2][1] - trans[1][1] * trans[2][0]);
    if (!(determinant > 0)) return refuse("a focal length is not positive");
    // Beyond a hundred image widths the view is under 0.6 degrees wide: no
    // lens for a station, and the square fit's pixel arithmetic overflows.
    const double maxFocal = 100.0 * width;
    if (!(cpara[0][0] > 0 && cpara[0][0] <= maxFocal && cpara[1][1] > 0 && cpara[1][1] <= maxFocal))
        return refuse("focal length outside 0..100 image widths");
    if (!(cpara[0][2] >= 0 && cpara[0][2] <= width && cpara[1][2] >= 0 && cpara[1][2] <= height))
        return refuse("principal point outside the image");
    // Undistorting must work out to the image corners: the observed radius
    // must keep growing with the ideal one there, and the round trip must
    // come back to the corner.
    const double* d = param.dist_factor;
    const double corners[4][2] = {{0, 0}, {width, 0}, {0, height}, {width, height}};
    for (const auto& corner : corners) {
        double ix, iy, ox, oy;
        observedToIdeal(d, corner[0], corner[1], ix, iy);
        idealToObserved(d, ix, iy, ox, oy);
        const double x = (ix - d[0]) * d[3], y = (iy - d[1]) * d[3];
        const double slope = 1.0 - 3.0 * d[2] / 100000000.0 * (x * x + y * y);
        if (!std::isfinite(ix) || !std::isfinite(iy) || !(slope > 0) ||
            !(std::hypot(ox - corner[0], oy - corner[1]) < 0.5))
            return refuse("the lens distortion cannot be undone at the image corners");
    }
    return true;
}

bool isUsable(const ARParam& param) { return checkCalibration(param, nullptr); }

bool readCalibrationFile(const std::string& path, int count, std::vector<ARParam>& records,
                         std::string* error) {
    if (count < 1) {
        fail(error, "Calibration file '" + path + "': no record asked for");
        return false;
    }
    // Only the records asked for are read: a device or a pipe named as the
    // calibration cannot make the loader read without end.
    const std::size_t wanted = static_cast<std::size_t>(count) * calibrationRecordSize;
    const FileBytes file = readFileBytes(path, wanted);
    if (!file.read()) {
        fail(error, "Calibration file '" + path + "' cannot be read (" + file.reason + ")");
        return false;
    }
    if (file.size && (*file.size == 0 || *file.size % calibrationRecordSize != 0)) {
        fail(error, "Calibration file '" + path + "' is not a whole number of 136-byte records (" +
                        std::to_string(*file.size) + " bytes)");
        return false;
    }
    if (file.bytes.size() < wanted) {
        fail(error, "Calibration file '" + path + "' holds fewer than " + std::to_string(count) + " records");
        return false;
    }
    records.clear();
    for (int i = 0; i < count; ++i) {
        const ARParam param =
            decodeRecord(reinterpret_cast<const unsigned char*>(file.bytes.data()) + i * calibrationRecordSize);
        std::string why;
        if (!checkCalibration(param, &why)) {
            fail(error, "Calibration file '" + path + "': record " + std::to_string(i + 1) + " is not a usable calibration (" + why + ")");
            return false;
        }
        records.push_back(param);
    }
    return true;
}

bool writeCalibrationFile(const std::string& path, const std::vector<ARParam>& records, std::string* error) {
    std::vector<unsigned char> bytes(records.size() * calibrationRecordSize);
    unsigned char* p = bytes.data();
    for (const ARParam& param : records) {
        writeBigEndian(p, static_cast<std::uint32_t>(param.xsize), 4);
        writeBigEndian(p + 4, static_cast<std::uint32_t>(param.ysize), 4);
        p += 8;
        for (const auto& row : param.mat)
            for (double value : row) { writeDouble(p, value); p += 8; }
        for (double value : param.dist_factor) { writeDouble(p, value); p += 8; }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        fail(error, "Calibration file '" + path + "' cannot be written");
        return false;
    }
    return true;
}

ARParam changeSize(const ARParam& source, int xsize, int ysize) {
    const double scale = static_cast<double>(xsize) / source.xsize;
    ARParam result = source;
    for (int i = 0; i < 4; ++i) {
        result.mat[0][i] = source.mat[0][i] * scale;
        result.mat[1][i] = source.mat[1][i] * scale;
        result.mat[2][i] = source.mat[2][i];
    }
    result.dist_factor[0] = source.dist_factor[0] * scale;
    result.dist_factor[1] = source.dist_factor[1] * scale;
    result.dist_factor[2] = source.dist_factor[2] / (scale * scale);
    result.dist_factor[3] = source.dist_factor[3];
    result.xsize = xsize;
    result.ysize = ysize;
    return result;
}

void idealToObserved(const double d[4], double ix, double iy, double& ox, double& oy) {
    const double x = (ix - d[0]) * d[3];
    const double y = (iy - d[1]) * d[3];
    if (x == 0 && y == 0) {
        ox = d[0];
        oy = d[1];
        return;
    }
    const double factor = 1.0 - d[2] / 100000000.0 * (x * x + y * y);
    ox = x * factor + d[0];
    oy = y * factor + d[1];
}

void observedToIdeal(const double d[4], double ox, double oy, double& ix, double& iy) {
    // Newton steps on the radius r of r * (1 - p r^2) = q.
    const double p = d[2] / 100000000.0;
    double px = ox - d[0];
    double py = oy - d[1];
    double z02 = px * px + py * py;
    const double q = std::sqrt(z02);
    double z0 = q;
    for (int i = 0; i < 3; ++i) {
        if (z0 == 0) {
            px = py = 0;
            break;
        }
        const double z = z0 - ((1.0 - p * z02) * z0 - q) / (1.0 - 3.0 * p * z02);
        px = px * z / z0;
        py = py * z / z0;
        z02 = px * px + py * py;
        z0 = std::sqrt(z02);
    }
    ix = px / d[3] + d[0];
    iy = py / d[3] + d[1];
}

bool decomposeProjection(const double source[3][4], double cpara[3][4], double trans[3][4]) {
    double c[3][4];
    const double sign = source[2][3] >= 0 ? 1.0 : -1.0;
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 4; ++k) c[r][k] = sign * source[r][k];
    double k[3][4] = {};
    double t[3][4] = {};

    k[2][2] = norm3(c[2]);
    if (!(k[2][2] > 1e-12)) return false;
    for (int i = 0; i < 3; ++i) t[2][i] = c[2][i] / k[2][2];
    t[2][3] = c[2][3] / k[2][2];

    k[1][2] = dot3(t[2], c[1]);
    double rest[3];
    for (int i = 0; i < 3; ++i) rest[i] = c[1][i] - k[1][2] * t[2][i];
    k[1][1] = norm3(rest);
    if (!(k[1][1] > 1e-12)) return false;
    for (int i = 0; i < 3; ++i) t[1][i] = rest[i] / k[1][1];

    k[0][2] = dot3(t[2], c[0]);
    k[0][1] = dot3(t[1], c[0]);
    for (int i = 0; i < 3; ++i) rest[i] = c[0][i] - k[0][1] * t[1][i] - k[0][2] * t[2][i];
    k[0][0] = norm3(rest);
    if (!(k[0][0] > 1e-12)) return false;
    for (int i = 0; i < 3; ++i) t[0][i] = rest[i] / k[0][0];

    t[1][3] = (c[1][3] - k[1][2] * t[2][3]) / k[1][1];
    t[0][3] = (c[0][3] - k[0][1] * t[1][3] - k[0][2] * t[2][3]) / k[0][0];

    const double scale = k[2][2];
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col) k[r][col] /= scale;
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 4; ++col) {
            cpara[r][col] = k[r][col];
            trans[r][col] = t[r][col];
        }
    return true;
}

bool prepareCalibration(const ARParam& param, Calibration& calibration) {
    if (!isUsable(param)) return false;
    double cpara[3][4], trans[3][4];
    decomposeProjection(param.mat, cpara, trans);
    calibration.param = param;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) calibration.intrinsic[r][c] = cpara[r][c];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) calibration.extrinsic[r][c] = trans[r][c];
    calibration.distorted = param.dist_factor[2] != 0 || param.dist_factor[3] != 1.0;
    return true;
}

} // namespace kwo::ar
