/* CalculateIFFT: inverse transform of an even, real spectrum by a radix-2 fast Hartley
 * transform, scaled by 1/N, centred on n/2 - 1 and windowed, all in place in the caller's
 * two-plane buffer. The arithmetic is single precision between steps (sines and cosines in
 * double) and the constant 6.283185526 stands for 2*pi throughout: the processor's spectral
 * equalizer coefficients depend on these exact values. */

#include "korvanes.h"

#include <math.h>
#include <stddef.h>

#define TWO_PI_CONST 6.283185526

/* Cosine and sine tables, rebuilt on every call; 4104 entries cover index N for N = 4096. */
static float CosTable[4104];
static float SinTable[4104];

/* Smallest m with 2^m >= n: the integer form of ceil(ln n / ln 2), free of rounding in the
 * logarithms. */
static int16_t log2Ceiling(int n)
{
    int16_t m = 0;
    while ((1 << m) < n)
        ++m;
    return m;
}

static int reverseBits(int i, int m)
{
    int r = 0;
    for (int b = 0; b < m; ++b) {
        r = (r << 1) | (i & 1);
        i >>= 1;
    }
    return r;
}

/* Cosine and sine of k * 2pi/N for k = 0..N, by accumulated angle, not by k * step; the upper
 * half mirrors the lower (sine negated). */
static void buildTables(int N)
{
    const double step = TWO_PI_CONST / N;
    double angle = 0.0;
    for (int j = 0; j <= N / 2; ++j) {
        const float c = (float)cos(angle);
        const float s = (float)sin(angle);
        CosTable[j] = c;
        CosTable[N - j] = c;
        SinTable[j] = s;
        SinTable[N - j] = (float)-sin(angle);
        angle += step;
    }
}

/* One radix-2 Hartley pass: merges the transforms of length span in src into transforms of
 * length 2 span in dst. */
static void hartleyPass(const float *src, float *dst, int N, int span)
{
    for (int b = 0; b < N; b += 2 * span) {
        for (int j = 0; j < span; ++j) {
            const float e = src[b + j];
            const float a = src[b + span + j];
            const float r = (span >= 4 && j >= 1) ? src[b + 2 * span - j] : a;
            const int t = j * N / (2 * span);
            float v = a * CosTable[t];
            v = v + r * SinTable[t];
            dst[b + j] = v + e;
            float w = r * SinTable[t + N / 2];
            w = w + a * CosTable[t + N / 2];
            dst[b + span + j] = w + e;
        }
    }
}

/* The Hartley transform of plane 0 (2^m values), alternating between the planes; the result is
 * scaled by 1/N into the plane the last pass did not write (plane 0 when m is even), which is
 * returned. */
static float *scaledHartley(float *p0, float *p1, int16_t m)
{
    const int N = 1 << m;
    for (int i = 0; i < N; ++i)
        p1[i] = p0[reverseBits(i, m)];

    float *src = p1;
    float *dst = p0;
    for (int span = 1; span < N; span *= 2) {
        hartleyPass(src, dst, N, span);
        float *const swap = src;
        src = dst;
        dst = swap;
    }
    for (int i = 0; i < N; ++i)
        dst[i] = src[i] / (float)N;
    return dst;
}

/* Centre on h = n/2 - 1: R[h + j] = x[j], R[h - j] = x[j], R[n - 1] = 0. */
static void centre(float *R, int n)
{
    const int h = n / 2 - 1;
    R[n - 1] = 0.0f;
    for (int i = n - 2; i >= h; --i)
        R[i] = R[i - h];
    for (int i = 1; i <= h; ++i)
        R[h - i] = R[h + i];
}

/* out[i] = R[i] times window i of n (0 Hamming, 1 Hann, 2 Blackman); any other window leaves
 * out untouched. */
static void applyWindow(const float *R, float *out, int n, int16_t window)
{
    const double wstep = TWO_PI_CONST / (n - 1);
    switch (window) {
    case 0:
        for (int i = 0; i < n; ++i)
            out[i] = (float)(R[i] * (0.54 - 0.46 * cos(i * wstep)));
        break;
    case 1:
        for (int i = 0; i < n; ++i)
            out[i] = (float)(R[i] * (0.5 - 0.5 * cos(i * wstep)));
        break;
    case 2:
        for (int i = 0; i < n; ++i)
            out[i] = (float)(R[i] * (0.42 - 0.5 * cos(i * wstep) + 0.08 * cos(2 * i * wstep)));
        break;
    default:
        break;
    }
}

KORVANES_EXPORT int16_t CalculateIFFT(int16_t n, int16_t window, float *data)
{
    /* The planes hold 4096 values: a length outside 2..4096 (or no buffer) would write past
     * the caller's buffer, so it is refused and nothing is touched. */
    if (data == NULL || n < 2 || n > KorvanesPlaneSize)
        return 0;

    float *const p0 = data;
    float *const p1 = data + KorvanesPlaneSize;

    const int16_t m = log2Ceiling(n);
    const int N = 1 << m;
    const int H = N / 2;

    /* Even extension of the spectrum: P0[N - i] = P0[i]. */
    for (int i = 1; i <= H; ++i)
        p0[2 * H - i] = p0[i];

    buildTables(N);
    float *const R = scaledHartley(p0, p1, m);
    centre(R, n);
    applyWindow(R, p0, n, window);
    return m;
}
