/* Platform names shared by the module's C interface and its bridge. */
#ifndef ORNR_PLATFORM_H
#define ORNR_PLATFORM_H

#if defined(_WIN32)
#include <wchar.h>
/** One UTF-16 code unit of the C interface. */
typedef wchar_t ornR_wchar;
#define ORNR_API __declspec(dllexport)
#else
#if !defined(__cplusplus)
#include <uchar.h>
#endif
/** One UTF-16 code unit of the C interface (wchar_t is 32 bits wide here). */
typedef char16_t ornR_wchar;
#define ORNR_API __attribute__((visibility("default")))
#endif

#endif
