// Installed structures, their layout and the encoding of values into parameters, records and rows.
#ifndef SAPSIM_LAYOUT_H
#define SAPSIM_LAYOUT_H

#include "Values.h"
#include "rfc/RfcLibrary.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sapsim {

// Handle of the first structure installed; later ones count up from it.
inline constexpr RFC_TYPEHANDLE kFirstStructureHandle = 1001;

struct Field {
    std::string name;
    RFC_TYPEHANDLE type = RFCTYPE_CHAR;
    std::uint32_t length = 0;
    std::uint32_t decimals = 0;
    std::uint32_t offset = 0;
};

struct Structure {
    std::string name;
    std::vector<Field> fields;
    std::uint32_t length = 0; // row length
};

struct Installation {
    bool installed = false;
    RFC_TYPEHANDLE handle = 0;
    std::string problem; // why not, when not installed
};

// Lays the fields out in description order: integers on offsets divisible by 4, everything else at
// the next byte; the row length is rounded up to a multiple of 4 when the structure holds an integer.
// The offsets of the description are not used. The same description installed again gets its handle back.
Installation InstallStructure(std::string_view name, const RFC_TYPE_ELEMENT *elements, unsigned count);

// The installed structure of a handle, or null.
const Structure *FindStructure(RFC_TYPEHANDLE handle);

bool IsElementaryType(RFC_TYPEHANDLE type);

// A parameter or row type: a type code or an installed structure.
bool IsKnownType(RFC_TYPEHANDLE type);

// The bytes of a value in the form of the given type. An elementary type takes the given length
// (an integer at most 4 bytes); a structure its row length, each field filled by name from a record
// value (fields without a value get their initial value: blanks for characters, zeros otherwise).
std::vector<std::uint8_t> Encode(const Value &value, RFC_TYPEHANDLE type, std::size_t length);

// An integer as packed decimal of the given length: 2 * length - 1 digits (the value multiplied by
// 10 to the power of decimals; digits beyond the field are cut from the left), then the sign nibble
// C, or D when negative.
void EncodePacked(std::int64_t value, std::uint32_t decimals, std::uint8_t *out, std::size_t length);

} // namespace sapsim

#endif
