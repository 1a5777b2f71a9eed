#pragma once

// SSE2 is part of every x86-64 processor, the Windows build's included; elsewhere the plain
// code paths serve.
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TICKVANE_SSE2 1
#endif
