#ifndef KORVANES_H
#define KORVANES_H
/* The korvanes library: one exported function that turns the non-negative half of a real,
 * zero-phase magnitude spectrum into a windowed impulse response centred on n/2 - 1.
 *
 * data points at an IfftBuffer: 8192 floats in two planes of 4096 (plane 0 = data[0..4095],
 * plane 1 = data[4096..8191]). On entry plane 0 elements 0..N/2 hold X[0] (DC) .. X[N/2]
 * (half the sample rate) as linear magnitudes; on return plane 0 elements 0..n-1 hold the
 * response. Plane 1 is work space.
 * n: 2..4096, a power of two (256 in the program). window: 0 Hamming, 1 Hann, 2 Blackman,
 * anything else none. Returns m = log2 N. Not reentrant (static tables). */

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { KorvanesPlaneSize = 4096, KorvanesBufferSize = 2 * KorvanesPlaneSize };

#if defined(KORVANES_BUILDING)
#define KORVANES_EXPORT __attribute__((visibility("default")))
#else
#define KORVANES_EXPORT
#endif

KORVANES_EXPORT int16_t CalculateIFFT(int16_t n, int16_t window, float *data);

/* The type the program binds the function to when it loads the library by name. */
typedef int16_t (*CalculateIFFTFunction)(int16_t n, int16_t window, float *data);

#ifdef __cplusplus
}
#endif

#endif
