#include "Layout.h"

#include "Text.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace sapsim {

namespace {

constexpr unsigned kMaxFields = 10000;
constexpr std::uint32_t kMaxFieldLength = 65535;
constexpr std::uint32_t kMaxRowLength = 1u << 20;
constexpr std::uint32_t kIntegerLength = 4;

std::vector<Structure> &Installed() {
    static std::vector<Structure> structures;
    return structures;
}

bool SameLayout(const Structure &left, const Structure &right) {
    if (left.name != right.name || left.fields.size() != right.fields.size()) return false;
    for (std::size_t i = 0; i < left.fields.size(); ++i) {
        const Field &a = left.fields[i];
        const Field &b = right.fields[i];
        if (a.name != b.name || a.type != b.type || a.length != b.length || a.decimals != b.decimals)
            return false;
    }
    return true;
}

std::string FieldProblem(const Structure &structure, std::size_t index, const std::string &what) {
    return "structure " + structure.name + ": field " + std::to_string(index + 1) + " " + what;
}

std::string AsText(const Scalar &value) { return value.isNumber ? std::to_string(value.number) : value.text; }

std::int64_t AsNumber(const Scalar &value) {
    if (value.isNumber) return value.number;
    return ParseInteger(Trim(value.text)).value_or(0);
}

void EncodeText(std::string_view text, std::uint8_t *out, std::size_t length) {
    std::size_t used = std::min(text.size(), length);
    std::memcpy(out, text.data(), used);
    std::memset(out + used, ' ', length - used);
}

void EncodeInteger(std::int64_t value, std::uint8_t *out, std::size_t length) {
    value = std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max());
    std::uint32_t bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
    for (std::size_t i = 0; i < length && i < kIntegerLength; ++i) {
        out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

std::size_t ElementaryLength(RFC_TYPEHANDLE type, std::size_t length) {
    return type == RFCTYPE_INT ? std::min<std::size_t>(length, kIntegerLength) : length;
}

// A scalar, or the initial value when there is none, in the form of an elementary type.
void EncodeElementary(const Scalar *value, RFC_TYPEHANDLE type, std::uint32_t decimals, std::uint8_t *out,
                      std::size_t length) {
    switch (type) {
    case RFCTYPE_CHAR:
        EncodeText(value ? AsText(*value) : std::string(), out, length);
        break;
    case RFCTYPE_DATE:
    case RFCTYPE_TIME:
        if (value) {
            EncodeText(AsText(*value), out, length);
        } else {
            std::memset(out, '0', length);
        }
        break;
    case RFCTYPE_BCD:
        EncodePacked(value ? AsNumber(*value) : 0, decimals, out, length);
        break;
    case RFCTYPE_INT:
        EncodeInteger(value ? AsNumber(*value) : 0, out, length);
        break;
    default:
        std::memset(out, 0, length);
        break;
    }
}

} // namespace

bool IsElementaryType(RFC_TYPEHANDLE type) {
    return type == RFCTYPE_CHAR || type == RFCTYPE_DATE || type == RFCTYPE_BCD || type == RFCTYPE_TIME ||
           type == RFCTYPE_INT;
}

bool IsKnownType(RFC_TYPEHANDLE type) { return IsElementaryType(type) || FindStructure(type) != nullptr; }

const Structure *FindStructure(RFC_TYPEHANDLE handle) {
    const std::vector<Structure> &structures = Installed();
    if (handle < kFirstStructureHandle || handle - kFirstStructureHandle >= structures.size()) return nullptr;
    return &structures[handle - kFirstStructureHandle];
}

Installation InstallStructure(std::string_view name, const RFC_TYPE_ELEMENT *elements, unsigned count) {
    Structure structure;
    structure.name = std::string(name);
    if (name.empty()) return {false, 0, "structure without a name"};
    if (count == 0 || elements == nullptr)
        return {false, 0, "structure " + structure.name + " has no fields"};
    if (count > kMaxFields) return {false, 0, "structure " + structure.name + " has too many fields"};

    std::uint64_t offset = 0;
    bool holdsInteger = false;
    for (unsigned i = 0; i < count; ++i) {
        const RFC_TYPE_ELEMENT &element = elements[i];
        Field field;
        if (element.name == nullptr) return {false, 0, FieldProblem(structure, i, "has no name")};
        field.name = element.name;
        field.type = element.type;
        field.length = element.length;
        field.decimals = element.decimals;
        if (!IsElementaryType(field.type)) {
            return {false, 0,
                    FieldProblem(structure, i, "has the unsupported type " + std::to_string(field.type))};
        }
        if (field.length == 0 || field.length > kMaxFieldLength) {
            return {false, 0,
                    FieldProblem(structure, i, "has the unsupported length " + std::to_string(field.length))};
        }
        if (field.type == RFCTYPE_INT) {
            if (field.length != kIntegerLength) {
                return {false, 0,
                        FieldProblem(structure, i,
                                     "is an integer of length " + std::to_string(field.length) + ", not 4")};
            }
            holdsInteger = true;
            offset = (offset + 3) / 4 * 4;
        }
        if (field.type == RFCTYPE_BCD && field.decimals > 2 * field.length - 1) {
            return {false, 0, FieldProblem(structure, i, "has more decimals than digits")};
        }
        field.offset = static_cast<std::uint32_t>(offset);
        offset += field.length;
        if (offset > kMaxRowLength) return {false, 0, "structure " + structure.name + " is too long"};
        structure.fields.push_back(std::move(field));
    }
    if (holdsInteger) offset = (offset + 3) / 4 * 4;
    structure.length = static_cast<std::uint32_t>(offset);

    std::vector<Structure> &structures = Installed();
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (SameLayout(structures[i], structure)) {
            return {true, static_cast<RFC_TYPEHANDLE>(kFirstStructureHandle + i), {}};
        }
    }
    if (structures.size() >= std::numeric_limits<RFC_TYPEHANDLE>::max() - kFirstStructureHandle) {
        return {false, 0, "too many structures installed"};
    }
    structures.push_back(std::move(structure));
    return {true, static_cast<RFC_TYPEHANDLE>(kFirstStructureHandle + structures.size() - 1), {}};
}

void EncodePacked(std::int64_t value, std::uint32_t decimals, std::uint8_t *out, std::size_t length) {
    if (length == 0) return;
    bool negative = value < 0;
    std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::size_t digitCount = 2 * length - 1;
    std::string digits = std::to_string(magnitude);
    if (magnitude != 0) digits.append(std::min<std::size_t>(decimals, digitCount), '0');
    if (digits.size() > digitCount) {
        digits.erase(0, digits.size() - digitCount);
    } else {
        digits.insert(0, digitCount - digits.size(), '0');
    }
    digits.push_back(negative && magnitude != 0 ? 'D' : 'C');
    for (std::size_t i = 0; i < length; ++i) {
        auto nibble = [](char c) { return c >= 'A' ? c - 'A' + 10 : c - '0'; };
        out[i] = static_cast<std::uint8_t>(nibble(digits[2 * i]) << 4 | nibble(digits[2 * i + 1]));
    }
}

std::vector<std::uint8_t> Encode(const Value &value, RFC_TYPEHANDLE type, std::size_t length) {
    if (const Structure *structure = FindStructure(type)) {
        std::vector<std::uint8_t> bytes(structure->length, 0);
        for (const Field &field : structure->fields) {
            const Scalar *fieldValue = nullptr;
            if (value.isRecord) {
                auto found = value.record.find(field.name);
                if (found != value.record.end()) fieldValue = &found->second;
            }
            EncodeElementary(fieldValue, field.type, field.decimals, bytes.data() + field.offset,
                             field.length);
        }
        return bytes;
    }
    std::vector<std::uint8_t> bytes(ElementaryLength(type, length), 0);
    EncodeElementary(value.isRecord ? nullptr : &value.scalar, type, 0, bytes.data(), bytes.size());
    return bytes;
}

} // namespace sapsim
