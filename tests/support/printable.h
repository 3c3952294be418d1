// Bytes shown as text in failure messages and fuzz findings, so that a line
// end, a blank at the end or a NUL byte can be seen:
//
//     printable("N0000.raw   \r\n")  ->  "N0000.raw   \r\n"   (with the quotes)
//     escaped("\x1a")               ->  \x1a
#pragma once

#include <string>
#include <string_view>

namespace gscmerge::testing {

// Printable ASCII as it is, CR, LF and TAB as \r, \n and \t, a backslash and
// a double quote after a backslash, every other byte as \xHH.
[[nodiscard]] std::string escaped(std::string_view bytes);

// `escaped(bytes)` in double quotes.
[[nodiscard]] std::string printable(std::string_view bytes);

}  // namespace gscmerge::testing
