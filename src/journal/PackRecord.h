#pragma once

#include <QString>
#include <cstdint>

namespace brimvolt {

/** A pack built from the register's cells: its cells carry its id until it is freed. */
struct PackRecord {
    std::int64_t id = 0;  // 0 until the pack is in the journal
    QString name;         // unique in the journal
    int series = 1;
    int parallel = 1;
    std::int64_t createdUtc = 0;  // seconds since 1970

    bool operator==(const PackRecord&) const = default;
};

}  // namespace brimvolt
