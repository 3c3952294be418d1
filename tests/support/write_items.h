// Items of every kind for write statements, and a file in memory behind an
// OutputBuffer that keeps each of its writes apart, for tests that compare
// the bytes of written records:
//
//     MemoryFile file;
//     OutputStatement statement(file.buffer, "memory", parseLayout("(I4,F5.2)"));
//     putItems(statement, {integer(12), real(3.5)});
//     statement.endWrite();
//     file.buffer.flushWaiting();
//     // file.contents() == "  12 3.50\r\n"
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "textio/output.h"
#include "textio/output_buffer.h"

namespace gscmerge::testing {

// One item of a write statement: an integer, a real or a text.
struct Item {
    enum class Kind : std::uint8_t { Integer, Real, Text };
    Kind kind = Kind::Integer;
    std::int32_t integer = 0;
    double real = 0.0;
    std::string text;

    // Integers in decimal, reals with all 17 digits, texts quoted.
    friend std::ostream& operator<<(std::ostream& out, const Item& item);
};

[[nodiscard]] Item integer(std::int32_t value);
[[nodiscard]] Item real(double value);
[[nodiscard]] Item text(std::string value);

// putInteger, putReal or putText, by the item's kind.
void putItem(textio::OutputStatement& statement, const Item& item);
void putItems(textio::OutputStatement& statement, const std::vector<Item>& items);

// A file in memory: the buffer's writes, each kept apart.
struct MemoryFile {
    static constexpr std::uint32_t kBlock = 1024;

    MemoryFile() = default;
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // Every write so far, joined.
    [[nodiscard]] std::string contents() const;

    std::vector<std::string> writes;
    char block[kBlock] = {};
    textio::OutputBuffer buffer{block, kBlock, append, this};

private:
    static void append(void* sink, const char* bytes, std::size_t count);
};

// The layout of an output star record, and the items of one such record
// (numbered, so that records differ).
inline const std::string kStarLayout =
    "('GSC',1X,I4,':',I4,1X,2I1,1X,2I1,1X,2I1,F3.2,1X,A1,2I1,1X,2I1,1X,2I1,F2.1,1X,F5.2)";
[[nodiscard]] std::vector<Item> starItems(std::int32_t number);

}  // namespace gscmerge::testing
