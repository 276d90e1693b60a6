#include "output/ChannelNames.h"

#include <cinttypes>

namespace {

// Open addressing over 64-bit hashes; 0 marks a free slot. A listing holds at most about 6,500
// systems ("S0001.P00#" is ten of its 65,535 characters), well under the table's fill limit.
constexpr uint32_t kSlots = 8192;
constexpr uint32_t kMostNames = kSlots / 8 * 7;

struct NameSlot {
    uint64_t hash = 0;
    uint32_t repeats = 0; // how often this name was given: its next number is repeats + 1
};

struct ChannelNameTable {
    NameSlot slots[kSlots];
    uint32_t used = 0;
    uint32_t numbered = 0;
};

ChannelNameTable table;

uint64_t NameHash(const TextBase &name) {
    uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (size_t i = 0; i < name.size(); ++i) {
        hash ^= static_cast<uint8_t>(name[i]);
        hash *= 1099511628211ULL;
    }
    return hash == 0 ? 1 : hash;
}

// The slot of a hash: the one holding it, or the free one where it belongs.
NameSlot &SlotOf(uint64_t hash) {
    uint32_t at = static_cast<uint32_t>(hash) & (kSlots - 1);
    while (table.slots[at].hash != 0 && table.slots[at].hash != hash)
        at = (at + 1) & (kSlots - 1);
    return table.slots[at];
}

void Note(NameSlot &slot, uint64_t hash) {
    slot.hash = hash;
    slot.repeats = 1;
    ++table.used;
}

} // namespace

void ResetChannelNames() {
    for (NameSlot &slot : table.slots)
        slot = NameSlot();
    table.used = 0;
    table.numbered = 0;
}

bool MakeChannelNameUnique(TextBase &name) {
    if (table.used >= kMostNames) return false;
    uint64_t hash = NameHash(name);
    NameSlot &first = SlotOf(hash);
    if (first.hash == 0) {
        Note(first, hash);
        return false;
    }
    FixedText<255> base;
    base.Assign(name);
    for (;;) {
        uint32_t number = ++first.repeats;
        FixedText<15> suffix;
        suffix.Format(" (%" PRIu32 ")", number);
        // The number stays whole: the name gives way when both do not fit.
        name.Assign(base);
        if (name.size() + suffix.size() > name.capacity()) name.Cut(name.capacity() - suffix.size());
        name.Append(suffix);
        uint64_t numberedHash = NameHash(name);
        NameSlot &slot = SlotOf(numberedHash);
        if (slot.hash != 0) continue; // that name is taken too: the next number
        Note(slot, numberedHash);
        ++table.numbered;
        return true;
    }
}

uint32_t NumberedChannelNames() { return table.numbered; }
