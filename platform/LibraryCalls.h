/* How the operations of a shared library are called and exported on this platform. Plain C: the
 * declared RFC library interface (rfc/RfcLibrary.h) takes its calling convention from here, and the
 * stand-in library sees this file beside that interface. */
#ifndef MARROWIND_PLATFORM_LIBRARY_CALLS_H
#define MARROWIND_PLATFORM_LIBRARY_CALLS_H

#if defined(_WIN32) && !defined(_WIN64)
/* 32-bit Windows libraries such as SAP's librfc32.dll use __stdcall. Such an export may be named
 * plainly (SAP's library: "RfcOpen") or decorated with the bytes of its arguments ("_RfcOpen@4",
 * "RfcOpen@4"). */
#define MARROWIND_LIBRARY_CALL __stdcall
#define MARROWIND_LIBRARY_CALL_DECORATES_NAMES 1
#else
#define MARROWIND_LIBRARY_CALL
#define MARROWIND_LIBRARY_CALL_DECORATES_NAMES 0
#endif

/* What a library marks as exported when it is built. */
#if defined(_WIN32)
#define MARROWIND_LIBRARY_EXPORT __declspec(dllexport)
#else
#define MARROWIND_LIBRARY_EXPORT __attribute__((visibility("default")))
#endif

#endif
