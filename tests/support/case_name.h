// The name generators of the parameterised tests. `caseName` names each row
// by its case's `name` member, so that a row reads
// `Records/ReadStatement.Values/TwoRecordsOneLine` and not `.../3`, and ctest
// lists it under that name alone.
//
//     INSTANTIATE_TEST_SUITE_P(Records, ReadStatement, ::testing::ValuesIn(kCases),
//                              caseName<ReadCase>);
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace gscmerge::testing {

template <class Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return std::string(info.param.name);
}

// A row name made of values, for tables whose rows are told apart by them:
// letters and digits as they are, '-' as "Minus", '+' as "Plus", anything
// else as '_' ("-0.01" gives "Minus0_01").
inline std::string valueName(std::string_view text) {
    std::string name;
    for (const char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            name += c;
        } else if (c == '-') {
            name += "Minus";
        } else if (c == '+') {
            name += "Plus";
        } else {
            name += '_';
        }
    }
    return name;
}

}  // namespace gscmerge::testing
