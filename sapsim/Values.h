// Values that the simulated SAP system hands back: scalars, records filled by field name, table rows.
#ifndef SAPSIM_VALUES_H
#define SAPSIM_VALUES_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sapsim {

struct Scalar {
    bool isNumber = false;
    std::int64_t number = 0;
    std::string text;

    static Scalar Text(std::string value) { return {false, 0, std::move(value)}; }
    static Scalar Number(std::int64_t value) { return {true, value, {}}; }
};

// Field values by field name.
using Record = std::map<std::string, Scalar, std::less<>>;

// An importing parameter: a scalar, or a record for a structure-typed parameter.
struct Value {
    bool isRecord = false;
    Scalar scalar;
    Record record;

    static Value Of(Scalar value) { return {false, std::move(value), {}}; }
    static Value Of(Record value) { return {true, {}, std::move(value)}; }
};

// A result-table row: a record laid out through the table's structure, or raw bytes taken as they are.
struct Row {
    bool isRaw = false;
    Record record;
    std::vector<std::uint8_t> bytes;
};

} // namespace sapsim

#endif
