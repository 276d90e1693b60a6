/* What the sensor uses of SAP's RFC client library (LIBRFC32).
 *
 * Plain C declarations: the operations, the records handed to them and the type codes. The sensor
 * loads the library (librfc32.dll, librfc32.so) while it runs and calls these operations through
 * pointers of the same types (rfc/RfcBinding.h); it relies on nothing beyond what is declared here.
 * On 32-bit Windows the library's operations use the __stdcall convention. */
#ifndef MARROWIND_RFC_LIBRARY_H
#define MARROWIND_RFC_LIBRARY_H

#include <stddef.h>
#include <stdint.h>

#include "platform/LibraryCalls.h"

/* On 32-bit Windows __stdcall; an export may then be named plainly (SAP's library: "RfcOpen") or
 * decorated with the bytes of its arguments ("_RfcOpen@4", "RfcOpen@4"). */
#define RFC_CALL MARROWIND_LIBRARY_CALL
#define RFC_CALL_DECORATES_NAMES MARROWIND_LIBRARY_CALL_DECORATES_NAMES

#if defined(RFC_BUILDING_LIBRARY)
#define RFC_API MARROWIND_LIBRARY_EXPORT
#else
#define RFC_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Handle of an open connection; 0 means none. */
typedef uint32_t RFC_HANDLE;
/* A type code below, or the handle of an installed structure. */
typedef uint32_t RFC_TYPEHANDLE;
/* Internal table of the library; null means none. */
typedef void *ITAB_H;

/* Type codes. */
enum {
    RFCTYPE_CHAR = 0, /* characters, blank-padded */
    RFCTYPE_DATE = 1, /* 8 characters YYYYMMDD */
    RFCTYPE_BCD = 2,  /* packed decimal */
    RFCTYPE_TIME = 3, /* 6 characters HHMMSS */
    RFCTYPE_INT = 8   /* 4-byte integer */
};

/* Call outcomes of RfcCall and RfcReceive. */
enum { RFC_OK = 0, RFC_FAILURE = 1, RFC_EXCEPTION = 2, RFC_SYS_EXCEPTION = 3 };

typedef void(RFC_CALL *RFC_ERROR_HANDLER)(const char *operation);
typedef void *(RFC_CALL *RFC_ALLOCATE)(void *old, size_t size);

/* Handed to RfcEnvironment. */
typedef struct {
    RFC_ERROR_HANDLER errorhandler;
    RFC_ALLOCATE allocate; /* null: the library's own allocator */
} RFC_ENV;

/* Gateway record, connection mode 1 ("R/2"). */
typedef struct {
    const char *gateway_host;    /* null when empty */
    const char *gateway_service; /* null when empty */
} RFC_CONNOPT_GATEWAY;

/* Application-server record, connection mode 0. */
typedef struct {
    const char *hostname; /* null when empty */
    int32_t sysnr;
    const char *gateway_host;    /* null when empty */
    const char *gateway_service; /* null when empty */
} RFC_CONNOPT_SERVER;

enum { RFC_MODE_SERVER = 0, RFC_MODE_GATEWAY = 1 };

/* Open options record, handed to RfcOpen. */
typedef struct {
    const char *destination;
    uint32_t mode; /* RFC_MODE_SERVER or RFC_MODE_GATEWAY */
    void *connopt; /* RFC_CONNOPT_SERVER* (mode 0) or RFC_CONNOPT_GATEWAY* (mode 1) */
    const char *client;
    const char *user;     /* blank-padded to 12 characters */
    const char *password; /* blank-padded to 10 characters */
    const char *language;
    int32_t trace;
} RFC_OPTIONS;

/* Filled by RfcLastError: four zero-terminated texts, 545 bytes in all. */
typedef struct {
    char key[33];
    char status[128];
    char message[256];
    char intstat[128];
} RFC_ERROR_INFO;

/* Handed to RfcOpenEx, which may fill it; the sensor never reads it. */
typedef struct {
    int32_t group;
    char key[33];
    char message[512];
} RFC_ERROR_INFO_EX;

/* Parameter entry; a list ends with an entry whose name is null. */
typedef struct {
    const void *name;
    uint32_t nlen;
    RFC_TYPEHANDLE type;
    uint32_t leng;
    void *addr;
} RFC_PARAMETER;

/* Table entry; a list ends with an entry whose name is null. */
typedef struct {
    const void *name;
    uint32_t nlen;
    RFC_TYPEHANDLE type;
    uint32_t leng; /* not set by the sensor */
    ITAB_H ithandle;
    uint32_t itmode; /* not set by the sensor */
    int32_t newitab; /* not set by the sensor */
} RFC_TABLE;

/* Field of a structure description. The library lays the fields out. */
typedef struct {
    const char *name;
    RFC_TYPEHANDLE type;
    uint32_t length;
    uint32_t decimals;
    uint32_t offset;
} RFC_TYPE_ELEMENT;

RFC_API void RFC_CALL RfcEnvironment(RFC_ENV *environment);
RFC_API RFC_HANDLE RFC_CALL RfcOpen(RFC_OPTIONS *options);
RFC_API RFC_HANDLE RFC_CALL RfcOpenEx(const char *connect, RFC_ERROR_INFO_EX *error);
RFC_API int RFC_CALL RfcInstallStructure(const char *name, RFC_TYPE_ELEMENT *elements, unsigned count,
                                         RFC_TYPEHANDLE *handle);
RFC_API int RFC_CALL RfcCall(RFC_HANDLE handle, const char *function, RFC_PARAMETER *exporting,
                             RFC_TABLE *tables);
RFC_API int RFC_CALL RfcReceive(RFC_HANDLE handle, RFC_PARAMETER *importing, RFC_TABLE *tables,
                                char **exception);
RFC_API void RFC_CALL RfcLastError(RFC_ERROR_INFO *error);
RFC_API void RFC_CALL RfcClose(RFC_HANDLE handle);

RFC_API ITAB_H RFC_CALL ItCreate(const char *name, unsigned leng, unsigned occurs, unsigned memsize);
RFC_API unsigned RFC_CALL ItFill(ITAB_H table);
RFC_API void *RFC_CALL ItGetLine(ITAB_H table, unsigned line);
RFC_API int RFC_CALL ItDelete(ITAB_H table);

#ifdef __cplusplus
}
#endif

#endif
