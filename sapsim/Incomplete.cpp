// An RFC library that lacks RfcOpenEx: the sensor must refuse it before it calls anything, so the
// other operations only have to exist. None of them does any work.
#include "rfc/RfcLibrary.h"

extern "C" {

RFC_API void RFC_CALL RfcEnvironment(RFC_ENV *) {}
RFC_API RFC_HANDLE RFC_CALL RfcOpen(RFC_OPTIONS *) { return 0; }
RFC_API int RFC_CALL RfcInstallStructure(const char *, RFC_TYPE_ELEMENT *, unsigned, RFC_TYPEHANDLE *) {
    return 1;
}
RFC_API int RFC_CALL RfcCall(RFC_HANDLE, const char *, RFC_PARAMETER *, RFC_TABLE *) { return RFC_FAILURE; }
RFC_API int RFC_CALL RfcReceive(RFC_HANDLE, RFC_PARAMETER *, RFC_TABLE *, char **) { return RFC_FAILURE; }
RFC_API void RFC_CALL RfcLastError(RFC_ERROR_INFO *) {}
RFC_API void RFC_CALL RfcClose(RFC_HANDLE) {}
RFC_API ITAB_H RFC_CALL ItCreate(const char *, unsigned, unsigned, unsigned) { return nullptr; }
RFC_API unsigned RFC_CALL ItFill(ITAB_H) { return 0; }
RFC_API void *RFC_CALL ItGetLine(ITAB_H, unsigned) { return nullptr; }
RFC_API int RFC_CALL ItDelete(ITAB_H) { return 1; }

} // extern "C"
