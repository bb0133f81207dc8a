/* A library by the name the program looks for that lacks CalculateIFFT. */
__attribute__((visibility("default"))) int SomethingElse(void) { return 1; }
