#include "gfx/Trig.h"

// The kernel is built for the i686 and would otherwise compute in the x87's
// 80-bit registers; rounding every step to double precision, as SSE2 does,
// is what makes kernel and host results identical.
#ifdef TESSARY_KERNEL
#    define DOUBLE_MATH __attribute__((target("sse2,fpmath=sse")))
#else
#    define DOUBLE_MATH
#endif

namespace {

// The classic polynomial kernels on [-pi/4, pi/4] (x + y is the reduced
// argument with its tail) and a Cody-Waite reduction by pi/2 in three parts.
constexpr double S1 = -1.66666666666666324348e-01;
constexpr double S2 = 8.33333333332248946124e-03;
constexpr double S3 = -1.98412698298579493134e-04;
constexpr double S4 = 2.75573137070700676789e-06;
constexpr double S5 = -2.50507602534068634195e-08;
constexpr double S6 = 1.58969099521155010221e-10;

constexpr double C1 = 4.16666666666666019037e-02;
constexpr double C2 = -1.38888888888741095749e-03;
constexpr double C3 = 2.48015872894767294178e-05;
constexpr double C4 = -2.75573143513906633035e-07;
constexpr double C5 = 2.08757232129817482790e-09;
constexpr double C6 = -1.13596475577881948265e-11;

constexpr double InvPio2 = 6.36619772367581382433e-01;
constexpr double HalfPi1 = 1.57079632673412561417e+00;
constexpr double HalfPi1Tail = 6.07710050650619224932e-11;
constexpr double HalfPi2 = 6.07710050630396597660e-11;
constexpr double HalfPi2Tail = 2.02226624879595063154e-21;
constexpr double HalfPi3 = 2.02226624871116645580e-21;
constexpr double HalfPi3Tail = 8.47842766036889956997e-32;

DOUBLE_MATH u32 high_word(double x)
{
    u64 bits;
    __builtin_memcpy(&bits, &x, sizeof bits);
    return static_cast<u32>(bits >> 32);
}

DOUBLE_MATH double with_low_word_cleared(u32 high)
{
    u64 bits = static_cast<u64>(high) << 32;
    double x;
    __builtin_memcpy(&x, &bits, sizeof x);
    return x;
}

DOUBLE_MATH double kernel_sin(double x, double y)
{
    double z = x * x;
    double v = z * x;
    double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
    if (y == 0)
        return x + v * (S1 + z * r);
    return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

DOUBLE_MATH double kernel_cos(double x, double y)
{
    u32 ix = high_word(x) & 0x7FFFFFFF;
    double z = x * x;
    double r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
    if (ix < 0x3FD33333) // |x| < 0.3
        return 1.0 - (0.5 * z - (z * r - x * y));
    double qx = ix > 0x3FE90000 ? 0.28125 : with_low_word_cleared(ix - 0x00200000); // x / 4
    double hz = 0.5 * z - qx;
    double a = 1.0 - qx;
    return a - (hz - (z * r - x * y));
}

// x = n * pi/2 + y0 + y1 with |y0 + y1| <= pi/4; for the moderate arguments
// of the drawing code (well below 2^20 * pi/2).
DOUBLE_MATH i32 reduce(double x, double& y0, double& y1)
{
    u32 ix = high_word(x) & 0x7FFFFFFF;
    if (ix <= 0x3FE921FB) { // |x| <= pi/4
        y0 = x;
        y1 = 0;
        return 0;
    }
    double t = x < 0 ? -x : x;
    i32 n = static_cast<i32>(t * InvPio2 + 0.5);
    double fn = n;
    double r = t - fn * HalfPi1;
    double w = fn * HalfPi1Tail;
    i32 j = static_cast<i32>(ix >> 20);
    y0 = r - w;
    i32 i = j - static_cast<i32>((high_word(y0) >> 20) & 0x7FF);
    if (i > 16) { // cancellation: take the next part of pi/2
        t = r;
        w = fn * HalfPi2;
        r = t - w;
        w = fn * HalfPi2Tail - ((t - r) - w);
        y0 = r - w;
        i = j - static_cast<i32>((high_word(y0) >> 20) & 0x7FF);
        if (i > 49) {
            t = r;
            w = fn * HalfPi3;
            r = t - w;
            w = fn * HalfPi3Tail - ((t - r) - w);
            y0 = r - w;
        }
    }
    y1 = (r - y0) - w;
    if (x < 0) {
        y0 = -y0;
        y1 = -y1;
        return -n;
    }
    return n;
}

// The sine of the reduced argument y0 + y1 lying in quarter turn `quarter`
// (modulo 4); the cosine is the sine one quarter turn further on.
DOUBLE_MATH double sin_in_quarter(i32 quarter, double y0, double y1)
{
    switch (quarter & 3) {
    case 0:
        return kernel_sin(y0, y1);
    case 1:
        return kernel_cos(y0, y1);
    case 2:
        return -kernel_sin(y0, y1);
    default:
        return -kernel_cos(y0, y1);
    }
}

}

namespace Trig {

DOUBLE_MATH double sin(double x)
{
    double y0, y1;
    i32 quarter = reduce(x, y0, y1);
    return sin_in_quarter(quarter, y0, y1);
}

DOUBLE_MATH double cos(double x)
{
    double y0, y1;
    i32 quarter = reduce(x, y0, y1);
    return sin_in_quarter(quarter + 1, y0, y1);
}

DOUBLE_MATH Point circle_point(i32 cx, i32 cy, i32 radius, i32 i)
{
    double theta = i * 2 * Pi / 360;
    double r = radius;
    return { static_cast<i32>(cx + r * cos(2 * theta)), static_cast<i32>(cy + r * sin(2 * theta)) };
}

}
