#include "tests/support/write_items.h"

#include <utility>

#include "tests/support/printable.h"

namespace gscmerge::testing {

std::ostream& operator<<(std::ostream& out, const Item& item) {
    switch (item.kind) {
        case Item::Kind::Integer:
            return out << item.integer;
        case Item::Kind::Real: {
            const auto precision = out.precision(17);
            out << item.real;
            out.precision(precision);
            return out;
        }
        case Item::Kind::Text:
            return out << printable(item.text);
    }
    return out;
}

Item integer(std::int32_t value) {
    return {Item::Kind::Integer, value, 0.0, {}};
}

Item real(double value) {
    return {Item::Kind::Real, 0, value, {}};
}

Item text(std::string value) {
    return {Item::Kind::Text, 0, 0.0, std::move(value)};
}

void putItem(textio::OutputStatement& statement, const Item& item) {
    switch (item.kind) {
        case Item::Kind::Integer:
            statement.putInteger(item.integer);
            return;
        case Item::Kind::Real:
            statement.putReal(item.real);
            return;
        case Item::Kind::Text:
            statement.putText(item.text.data(), static_cast<std::int32_t>(item.text.size()));
            return;
    }
}

void putItems(textio::OutputStatement& statement, const std::vector<Item>& items) {
    for (const Item& item : items) putItem(statement, item);
}

std::string MemoryFile::contents() const {
    std::string all;
    for (const std::string& write : writes) all += write;
    return all;
}

void MemoryFile::append(void* sink, const char* bytes, std::size_t count) {
    static_cast<MemoryFile*>(sink)->writes.emplace_back(bytes, count);
}

std::vector<Item> starItems(std::int32_t number) {
    return {integer(1234), integer(number), integer(0), integer(1), integer(0), integer(2),
            integer(0),    integer(3),      real(0.45), text("-"),  integer(0), integer(4),
            integer(0),    integer(5),      integer(0), integer(6), real(0.7),  real(12.34)};
}

}  // namespace gscmerge::testing
