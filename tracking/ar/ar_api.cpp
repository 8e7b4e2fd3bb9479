// The C-style calls over one default tracker.

#include "tracking/ar/ar.h"

#include "tracking/ar/calibration.h"
#include "tracking/ar/tracker.h"

#include <cstdarg>

namespace {

kwo::ar::Tracker& defaultTracker() {
    static kwo::ar::Tracker tracker;
    return tracker;
}

} // namespace

int arParamLoad(const char* filename, int num, ARParam* param, ...) {
    if (!filename || !param || num < 1) return -1;
    std::vector<ARParam> records;
    if (!kwo::ar::readCalibrationFile(filename, num, records)) return -1;
    *param = records[0];
    va_list rest;
    va_start(rest, param);
    for (int i = 1; i < num; ++i) {
        ARParam* next = va_arg(rest, ARParam*);
        if (next) *next = records[i];
    }
    va_end(rest);
    return 0;
}

int arParamChangeSize(const ARParam* source, int xsize, int ysize, ARParam* newparam) {
    if (!source || !newparam || source->xsize <= 0 || xsize <= 0 || ysize <= 0) return -1;
    *newparam = kwo::ar::changeSize(*source, xsize, ysize);
    return 0;
}

int arInitCparam(const ARParam* param) { return kwo::ar::initCalibration(param, nullptr); }

int arParamDecompMat(const double source[3][4], double cpara[3][4], double trans[3][4]) {
    if (!source || !cpara || !trans) return -1;
    return kwo::ar::decomposeProjection(source, cpara, trans) ? 0 : -1;
}

int arParamObserv2Ideal(const double dist_factor[4], double ox, double oy, double* ix, double* iy) {
    kwo::ar::observedToIdeal(dist_factor, ox, oy, *ix, *iy);
    return 0;
}

int arParamIdeal2Observ(const double dist_factor[4], double ix, double iy, double* ox, double* oy) {
    kwo::ar::idealToObserved(dist_factor, ix, iy, *ox, *oy);
    return 0;
}

int arLoadPatt(const char* filename) { return kwo::ar::loadPattern(filename, nullptr); }

int kwo::ar::loadCalibration(const char* filename, ARParam* param, std::string* reason) {
    if (!filename || !param) return -1;
    std::vector<ARParam> records;
    if (!readCalibrationFile(filename, 1, records, reason)) return -1;
    *param = records[0];
    return 0;
}

int kwo::ar::loadPattern(const char* filename, std::string* reason) {
    if (!filename) return -1;
    return defaultTracker().loadPattern(filename, reason);
}

int kwo::ar::initCalibration(const ARParam* param, std::string* reason) {
    if (!param) return -1;
    if (!checkCalibration(*param, reason)) return -1;
    return defaultTracker().setCalibration(*param) ? 0 : -1;
}

int arDetectMarker(const ARUint8* dataPtr, int thresh, ARMarkerInfo** marker_info, int* marker_num) {
    return kwo::ar::detectMarker(dataPtr, kwo::ar::Threshold::global(thresh), marker_info, marker_num);
}

int kwo::ar::detectMarker(const ARUint8* image, const Threshold& threshold, ARMarkerInfo** marker_info,
                          int* marker_num) {
    Tracker& tracker = defaultTracker();
    if (!image || !marker_info || !marker_num || !tracker.hasCalibration()) return -1;
    const ARParam& param = tracker.calibration();
    const auto& markers = tracker.detect(FrameView::packed(image, param.xsize, param.ysize), threshold);
    // The list lives in the tracker until the next detection; the viewer's
    // interface hands out a mutable pointer.
    *marker_info = const_cast<ARMarkerInfo*>(markers.data());
    *marker_num = static_cast<int>(markers.size());
    return 0;
}

double arGetTransMat(const ARMarkerInfo* marker_info, const double center[2], double width, double conv[3][4]) {
    if (!marker_info || !center || !conv) return -1;
    return defaultTracker().pose(*marker_info, center, width, conv);
}

double arGetTransMatCont(const ARMarkerInfo* marker_info, const double prev_conv[3][4], const double center[2],
                         double width, double conv[3][4]) {
    if (!marker_info || !center || !conv) return -1;
    if (!prev_conv) return defaultTracker().pose(*marker_info, center, width, conv);
    return defaultTracker().poseContinued(*marker_info, prev_conv, center, width, conv);
}
