// The name generator of the parameterised tests: each row is named by its
// case's `name` member, so that a row reads
// `Records/ReadStatement.Values/TwoRecordsOneLine` and not `.../3`, and ctest
// lists it under that name alone.
//
//     INSTANTIATE_TEST_SUITE_P(Records, ReadStatement, ::testing::ValuesIn(kCases),
//                              caseName<ReadCase>);
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace gscmerge::testing {

template <class Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return std::string(info.param.name);
}

}  // namespace gscmerge::testing
