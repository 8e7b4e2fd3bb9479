#pragma once

// The tracker's records, with the field names and meanings the viewer's code
// uses. Plain structs, so they can be copied and stored freely.

typedef unsigned char ARUint8;

// Camera calibration for one frame size.
struct ARParam {
    int xsize;               // frame width the calibration belongs to, pixels
    int ysize;               // frame height, pixels
    double mat[3][4];        // projection of ideal (undistorted) pixels
    double dist_factor[4];   // distortion centre x0, y0, factor f, scale s
};

// One square found in a frame.
struct ARMarkerInfo {
    int area;              // pixels of the dark region
    int id;                // pattern slot, or -1 when no pattern matched well enough
    int dir;               // vertex[(4 - dir) % 4] is the printed upper-left corner
    double cf;             // match confidence: cosine of sample and template, -1..1
    double pos[2];         // centre of the dark region, observed pixels
    double line[4][3];     // edges a*x + b*y + c = 0 (a^2 + b^2 = 1), ideal pixels;
                           // line[i] runs from vertex[i] to vertex[(i + 1) % 4]
    double vertex[4][2];   // corners, ideal (undistorted) pixels, clockwise on screen
};
