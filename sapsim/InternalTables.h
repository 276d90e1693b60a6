// Internal tables: rows of a fixed length, owned by the library, handed out as opaque handles.
#ifndef SAPSIM_INTERNAL_TABLES_H
#define SAPSIM_INTERNAL_TABLES_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sapsim {

inline constexpr std::size_t kMaxTableRowLength = 1u << 20;

class InternalTable {
  public:
    InternalTable(std::string name, std::size_t rowLength) : name_(std::move(name)), rowLength_(rowLength) {}

    const std::string &Name() const { return name_; }
    std::size_t RowLength() const { return rowLength_; }
    std::size_t Fill() const { return rows_.size(); }

    // Row number from 1; null when there is no such row. A row stays where it is until the table goes.
    void *Line(std::size_t number) const;

    // Appends a row holding the bytes, cut to the row length or filled up with zeros.
    void Append(const std::uint8_t *bytes, std::size_t count);

  private:
    std::string name_;
    std::size_t rowLength_;
    std::vector<std::unique_ptr<std::uint8_t[]>> rows_;
};

InternalTable *CreateTable(std::string name, std::size_t rowLength);

// The table of a handle that this library handed out and that is not deleted yet; null otherwise.
InternalTable *FindTable(const void *handle);

// Deletes the table of a handle; false when the handle is not a live table.
bool DeleteTable(const void *handle);

} // namespace sapsim

#endif
