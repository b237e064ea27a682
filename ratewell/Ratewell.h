/* The currency-conversion library: two functions with C linkage, bound by
   name at run time. A plain C header, so either side can be built apart. */
#ifndef KORVANDEL_RATEWELL_H
#define KORVANDEL_RATEWELL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Rate: the conversion rate as a decimal number in a zero-terminated text, or
   a text that is no number when there is none; Context: as passed in. */
typedef void (*TConversionRateProc)(const char *Rate, void *Context);

/* Starts one request for the rate from FromCode to ToCode (three letters each)
   and returns at once (1 started, 0 not); the callback follows later on the
   caller's message loop, exactly once unless TerminateProcesses comes first. */
typedef int32_t (*TGetConversionRate)(const char *FromCode, const char *ToCode, uint8_t UseProxy,
                                      const char *ProxyHost, const char *ProxyPort, TConversionRateProc Callback,
                                      void *Context);
/* Stops every request still running; none of them calls back afterwards. */
typedef void (*TTerminateProcesses)(void);

#ifdef __cplusplus
}
#endif

#endif
