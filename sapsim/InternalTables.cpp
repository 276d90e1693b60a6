#include "InternalTables.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace sapsim {

namespace {

std::map<const void *, std::unique_ptr<InternalTable>> &Tables() {
    static std::map<const void *, std::unique_ptr<InternalTable>> tables;
    return tables;
}

} // namespace

void *InternalTable::Line(std::size_t number) const {
    if (number == 0 || number > rows_.size()) return nullptr;
    return rows_[number - 1].get();
}

void InternalTable::Append(const std::uint8_t *bytes, std::size_t count) {
    auto row = std::make_unique<std::uint8_t[]>(rowLength_);
    if (bytes != nullptr) std::memcpy(row.get(), bytes, std::min(count, rowLength_));
    rows_.push_back(std::move(row));
}

InternalTable *CreateTable(std::string name, std::size_t rowLength) {
    auto table = std::make_unique<InternalTable>(std::move(name), rowLength);
    InternalTable *handle = table.get();
    Tables()[handle] = std::move(table);
    return handle;
}

InternalTable *FindTable(const void *handle) {
    auto found = Tables().find(handle);
    return found == Tables().end() ? nullptr : found->second.get();
}

bool DeleteTable(const void *handle) { return Tables().erase(handle) > 0; }

} // namespace sapsim
