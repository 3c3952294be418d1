// Conversion of the collected text of a numeric field into its value.
//
// The reader feeds the characters it collects one by one (blanks, leading
// zeros of integers and the field's end already handled by the reader), then
// asks for the value. A conversion error is remembered rather than raised at
// once, so that a character 26 later in the same field still decides the
// report (end of file comes first).
#pragma once

#include <cstdint>

namespace gscmerge::textio {

// The conversion of an integer field's text, fed one character at a time:
// an optional first sign, then decimal digits; or a radix
// form "r#digits" (r from 2 to 36, 16 when omitted). 0 when empty.
class IntegerConversion {
public:
    void add(char c);
    // The value, or 0 with `error()` set.
    [[nodiscard]] std::int32_t value() const;
    // 0, or the number of the first conversion error (6100, 6101, 6302, 6303).
    [[nodiscard]] int error() const;

private:
    void fail(int number) {
        if (error_ == 0) error_ = number;
    }
    std::uint64_t magnitude_ = 0;
    std::uint32_t radix_ = 10;
    std::int32_t length_ = 0;
    int error_ = 0;
    bool negative_ = false;
    bool radixForm_ = false;
    bool digitsBeforeRadix_ = false;
    bool spellsMinimum_ = true;  // the text so far is a prefix of "-2147483648"
};

// The conversion of a fixed-point field's text, fed one character at a time:
// an optional sign, digits with at most one point,
// an optional exponent (E, e, D or d, then an optional sign and digits; or a
// sign directly followed by digits). The reader has already inserted the 0
// after a first sign and before a first point.
class FixedConversion {
public:
    explicit FixedConversion(std::int32_t decimals) : decimals_(decimals) {}
    void add(char c);
    // The value: exactly the double nearest the decimal number, divided by
    // 10^d when the text has no point. Sets `error()` instead on a bad form
    // (6103) or a magnitude beyond the double range (6102).
    [[nodiscard]] double value();
    [[nodiscard]] int error() const { return error_; }

    // Significant digits kept for an exact conversion; a longer text keeps
    // one sticky digit beyond them, which decides ties just as well.
    static constexpr int kMaxDigits = 800;

private:
    enum class State : std::uint8_t {
        Start,
        Integer,
        Fraction,
        ExponentMark,
        ExponentSign,
        Exponent
    };
    void addDigit(int digit, bool inFraction);
    double slowValue();

    std::uint64_t mantissa_ = 0;  // the first up to 19 significant digits
    std::int32_t significant_ = 0;
    std::int32_t kept_ = 0;
    std::int64_t scale_ = 0;  // value = all significant digits x 10^scale_
    std::int64_t exponent_ = 0;
    std::int32_t decimals_;
    int error_ = 0;
    State state_ = State::Start;
    bool negative_ = false;
    bool exponentNegative_ = false;
    bool hasPoint_ = false;
    bool sticky_ = false;
    char digits_[kMaxDigits];  // the first `kept_` significant digits
};

}  // namespace gscmerge::textio
