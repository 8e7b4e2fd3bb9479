#pragma once

// The marker tracker's C-style calls, as the viewer makes them. Each call is a
// thin wrapper over one default kwo::ar::Tracker (tracking/ar/tracker.h),
// which owns the current calibration, the pattern table and the marker
// history; code that wants its own tracker (tests, tools) uses the class.
//
// Units: pixels for image positions, the unit of `width` (millimetres in the
// viewer) for transforms. Failures return -1 (or a negative double); nothing
// here throws.

#include "tracking/ar/ar_types.h"
#include "tracking/ar/threshold.h"

#include <string>

// Reads `num` calibration records (136 bytes each, big-endian) into the
// ARParam pointers that follow `num`. Returns 0, or -1 when the file cannot be
// opened, is shorter than asked, is not a whole number of records (later
// formats are rejected) or holds an implausible record.
int arParamLoad(const char* filename, int num, ARParam* param, ...);

// Scales a calibration to another frame size; the scale is xsize /
// source->xsize (ysize only becomes the new height). Returns 0, or -1 for a
// source without a width or a non-positive size.
int arParamChangeSize(const ARParam* source, int xsize, int ysize, ARParam* newparam);

// Makes `param` the calibration for arDetectMarker and the pose calls. Returns
// 0, or -1 (keeping the previous calibration) when the record is unusable.
int arInitCparam(const ARParam* param);

// Splits a 3x4 projection into the upper-triangular intrinsic matrix (with
// cpara[2][2] = 1) and a rotation with translation. Returns 0, or -1 when the
// projection is degenerate.
int arParamDecompMat(const double source[3][4], double cpara[3][4], double trans[3][4]);

// Lens distortion: observed (as the camera delivers) to ideal (pinhole)
// pixels and back. Both return 0.
int arParamObserv2Ideal(const double dist_factor[4], double ox, double oy, double* ix, double* iy);
int arParamIdeal2Observ(const double dist_factor[4], double ix, double iy, double* ox, double* oy);

// Loads a pattern file into the next free slot of the 50. Returns the slot,
// or -1 when the file is missing, malformed, or all slots are taken.
int arLoadPatt(const char* filename);

// Finds the squares in a frame of the current calibration's size, 4 bytes
// per pixel (blue, green, red, pad), rows packed. The list is owned by the
// default tracker and stays valid until the next call. Returns 0, or -1 when
// no calibration is installed or an argument is missing.
int arDetectMarker(const ARUint8* dataPtr, int thresh, ARMarkerInfo** marker_info, int* marker_num);

// Pose of a detected marker: the transform from marker coordinates (x right,
// y up as printed, z toward the viewer, origin at `center`, unit of `width`)
// to camera coordinates (x right, y down, z forward). Returns the fit error
// (mean squared reprojection error per corner, pixels squared), or a negative
// value on failure, in which case `conv` is left unchanged.
double arGetTransMat(const ARMarkerInfo* marker_info, const double center[2], double width,
                     double conv[3][4]);

// As arGetTransMat, starting from the previous transform (which may be the
// same storage as `conv`); a fresh estimate is also tried when the continued
// one fits worse than 1 pixel squared, and the better one is kept.
double arGetTransMatCont(const ARMarkerInfo* marker_info, const double prev_conv[3][4],
                         const double center[2], double width, double conv[3][4]);

namespace kwo::ar {

// arParamLoad of one record and arLoadPatt, also saying why they failed
// (naming the file) for whoever looks after the station.
int loadCalibration(const char* filename, ARParam* param, std::string* reason);
int loadPattern(const char* filename, std::string* reason);

// arInitCparam, also saying why the calibration was refused.
int initCalibration(const ARParam* param, std::string* reason);

// arDetectMarker with the threshold's mode chosen (tracking/ar/threshold.h):
// a fixed level, detecting exactly as arDetectMarker(image, level, ...)
// does, or the local threshold for frames whose light differs from place to
// place. Same list, same result codes.
int detectMarker(const ARUint8* image, const Threshold& threshold, ARMarkerInfo** marker_info, int* marker_num);

} // namespace kwo::ar
