#pragma once

#include "base/Types.h"

// Double-precision sine and cosine for the kernel, which has no maths
// library. The host tests link the same code, so a circle drawn in a test is
// the circle the kernel draws; the results agree with the C library's to the
// last bit for the angles the drawing code uses.
namespace Trig {

constexpr double Pi = 3.14159265358979311600e+00;

double sin(double x);
double cos(double x);

struct Point {
    i32 x, y;
};

// Point i (0-359) of a dotted circle around (cx, cy): at angle 2 * i degrees,
// each coordinate truncated towards zero.
Point circle_point(i32 cx, i32 cy, i32 radius, i32 i);

}
