// The three structure descriptions of the function modules: RFCSI (RFC_SYSTEM_INFO), DATE_TIME and
// TABLE_XPC (DB_ORA_CURRENT_SIZES). Offsets and decimals are 0: the library lays the fields out.
// The stand-in library's tests install these same descriptions, so there is one copy of them.
#pragma once

#include <cstddef>

#include "rfc/RfcLibrary.h"

namespace rfc {

inline constexpr RFC_TYPE_ELEMENT kRfcsiDescription[] = {
    {"RFCPROTO", RFCTYPE_CHAR, 3, 0, 0},   {"RFCCHARTYP", RFCTYPE_CHAR, 4, 0, 0},
    {"RFCINTTYP", RFCTYPE_CHAR, 3, 0, 0},  {"RFCFLOTYP", RFCTYPE_CHAR, 3, 0, 0},
    {"RFCDEST", RFCTYPE_CHAR, 32, 0, 0},   {"RFCHOST", RFCTYPE_CHAR, 8, 0, 0},
    {"RFCSYSID", RFCTYPE_CHAR, 8, 0, 0},   {"RFCDATABS", RFCTYPE_CHAR, 8, 0, 0},
    {"RFCDBHOST", RFCTYPE_CHAR, 32, 0, 0}, {"RFCDBSYS", RFCTYPE_CHAR, 10, 0, 0},
    {"RFCSAPRL", RFCTYPE_CHAR, 4, 0, 0},   {"RFCMACH", RFCTYPE_CHAR, 5, 0, 0},
    {"RFCOPSYS", RFCTYPE_CHAR, 10, 0, 0},  {"RFCTZONE", RFCTYPE_CHAR, 6, 0, 0},
    {"RFCDAYST", RFCTYPE_CHAR, 1, 0, 0},   {"RFCIPADDR", RFCTYPE_CHAR, 15, 0, 0},
    {"RFCKERNRL", RFCTYPE_CHAR, 4, 0, 0},  {"RFCSI_RESV", RFCTYPE_CHAR, 44, 0, 0},
};

inline constexpr RFC_TYPE_ELEMENT kDateTimeDescription[] = {
    {"MONI_DATE", RFCTYPE_DATE, 8, 0, 0},
    {"MONI_TIME", RFCTYPE_TIME, 6, 0, 0},
};

inline constexpr RFC_TYPE_ELEMENT kTableXpcDescription[] = {
    {"TS", RFCTYPE_CHAR, 30, 0, 0},     {"INIT_EXT", RFCTYPE_INT, 4, 0, 0},
    {"NEXT_EXT", RFCTYPE_INT, 4, 0, 0}, {"MIN_EXT", RFCTYPE_INT, 4, 0, 0},
    {"MAX_EXT", RFCTYPE_INT, 4, 0, 0},  {"PCT_INCR", RFCTYPE_INT, 4, 0, 0},
    {"STATUS", RFCTYPE_CHAR, 9, 0, 0},  {"TSIZE", RFCTYPE_BCD, 8, 0, 0},
    {"TFREE", RFCTYPE_BCD, 8, 0, 0},    {"TPCTUSED", RFCTYPE_INT, 4, 0, 0},
    {"TEXTENTS", RFCTYPE_INT, 4, 0, 0}, {"TSEGMENTS", RFCTYPE_INT, 4, 0, 0},
    {"TSAU", RFCTYPE_CHAR, 14, 0, 0},   {"TSAUPCT", RFCTYPE_INT, 4, 0, 0},
};

// Record and row lengths the layout rule gives.
constexpr size_t kRfcsiLength = 200;
constexpr size_t kDateTimeLength = 14;
constexpr size_t kTableXpcRowLength = 112;

} // namespace rfc
