// Integer and fixed-point field texts to values.
#include "textio/numeric_input.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>

#include "textio/decimal_tables.h"

namespace gscmerge::textio {
namespace {

constexpr char kMinimumText[] = "-2147483648";

// Digit value in the radix alphabet 0-9, then a-z or A-Z for 10-35; 99 for
// anything else.
std::uint32_t digitValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
    if (c >= 'a' && c <= 'z') return static_cast<std::uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'Z') return static_cast<std::uint32_t>(c - 'A' + 10);
    return 99;
}

constexpr std::int64_t kExponentLimit = 1000000000;

}  // namespace

void IntegerConversion::add(char c) {
    const std::int32_t index = length_++;
    spellsMinimum_ = spellsMinimum_ && index < 11 && c == kMinimumText[index];
    if (error_ != 0) return;
    if (index == 0 && (c == '+' || c == '-')) {
        negative_ = c == '-';
        return;
    }
    if (c == '#') {
        if (radixForm_) return fail(6302);
        const std::uint64_t radix = digitsBeforeRadix_ ? magnitude_ : 16;
        if (radix < 2 || radix > 36) return fail(6303);
        radix_ = static_cast<std::uint32_t>(radix);
        radixForm_ = true;
        magnitude_ = 0;
        return;
    }
    const std::uint32_t digit = digitValue(c);
    if (digit >= radix_) return fail(6101);
    if (!radixForm_) digitsBeforeRadix_ = true;
    if (radix_ == 10) {
        // Radix 10 keeps the limits of a plain decimal number.
        if (magnitude_ > 214748364) return fail(6100);
        magnitude_ = magnitude_ * 10 + digit;
        if (magnitude_ > 2147483647) return fail(6100);
    } else {
        magnitude_ = magnitude_ * radix_ + digit;
        if (magnitude_ > 0xFFFFFFFFu) return fail(6100);
    }
}

int IntegerConversion::error() const {
    if (spellsMinimum_ && length_ == 11) return 0;
    return error_;
}

std::int32_t IntegerConversion::value() const {
    if (spellsMinimum_ && length_ == 11) return INT32_MIN;
    if (error_ != 0) return 0;
    // Every step below is on 32 unsigned bits, so -x of a radix value wraps
    // the way the stored bits do.
    auto bits = static_cast<std::uint32_t>(magnitude_);
    if (negative_) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
}

void FixedConversion::addDigit(int digit, bool inFraction) {
    if (inFraction) --scale_;
    if (significant_ == 0 && digit == 0) return;
    ++significant_;
    if (significant_ <= 19) mantissa_ = mantissa_ * 10 + static_cast<std::uint64_t>(digit);
    if (kept_ < kMaxDigits) {
        digits_[kept_++] = static_cast<char>('0' + digit);
    } else if (digit != 0) {
        sticky_ = true;
    }
}

void FixedConversion::add(char c) {
    const bool isDigit = c >= '0' && c <= '9';
    const bool isSign = c == '+' || c == '-';
    const bool isExponentLetter = c == 'E' || c == 'e' || c == 'D' || c == 'd';
    switch (state_) {
        case State::Start:
            if (isSign) {
                negative_ = c == '-';
                state_ = State::Integer;
                return;
            }
            [[fallthrough]];
        case State::Integer:
            if (isDigit) {
                addDigit(c - '0', false);
                state_ = State::Integer;
                return;
            }
            if (c == '.' && !hasPoint_) {
                hasPoint_ = true;
                state_ = State::Fraction;
                return;
            }
            if (state_ == State::Start) break;
            [[fallthrough]];
        case State::Fraction:
            if (state_ == State::Fraction && isDigit) {
                addDigit(c - '0', true);
                return;
            }
            if (isExponentLetter) {
                state_ = State::ExponentMark;
                return;
            }
            if (isSign) {
                exponentNegative_ = c == '-';
                state_ = State::ExponentSign;
                return;
            }
            break;
        case State::ExponentMark:
            if (isSign) {
                exponentNegative_ = c == '-';
                state_ = State::ExponentSign;
                return;
            }
            [[fallthrough]];
        case State::ExponentSign:
        case State::Exponent:
            if (isDigit) {
                exponent_ = exponent_ * 10 + (c - '0');
                if (exponent_ > kExponentLimit) exponent_ = kExponentLimit;
                state_ = State::Exponent;
                return;
            }
            break;
    }
    if (error_ == 0) error_ = 6103;
}

double FixedConversion::value() {
    if (state_ == State::ExponentMark || state_ == State::ExponentSign) error_ = 6103;
    if (error_ != 0) return 0.0;
    if (significant_ == 0) return negative_ ? -0.0 : 0.0;
    const std::int64_t power = scale_ + (exponentNegative_ ? -exponent_ : exponent_) -
                               (hasPoint_ ? 0 : static_cast<std::int64_t>(decimals_));
    // An exact integer scaled by an exact power of ten: one IEEE operation
    // rounds it correctly.
    if (significant_ <= 19 && mantissa_ <= (std::uint64_t{1} << 53) && power >= -22 &&
        power <= 22) {
        const auto exact = static_cast<double>(mantissa_);
        const double magnitude =
            power >= 0 ? exact * kExactPowersOfTen[power] : exact / kExactPowersOfTen[-power];
        return negative_ ? -magnitude : magnitude;
    }
    scale_ = power;
    return slowValue();
}

// Every other text: the kept digits and their exponent in the "digits e
// exponent" form, which has no decimal point and so no locale, converted with
// correct rounding while the floating-point traps are held.
double FixedConversion::slowValue() {
    const std::int64_t top = scale_ + significant_;  // value < 10^top
    if (top > 310) {
        error_ = 6102;
        return 0.0;
    }
    if (top < -330) return negative_ ? -0.0 : 0.0;
    char text[kMaxDigits + 32];
    int length = 0;
    for (int i = 0; i < kept_; ++i) text[length++] = digits_[i];
    std::int64_t exponent = scale_ + (significant_ - kept_);
    if (sticky_) {
        text[length++] = '1';
        --exponent;
    }
    text[length++] = 'e';
    if (exponent < 0) {
        text[length++] = '-';
        exponent = -exponent;
    }
    char reversed[24];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + exponent % 10);
        exponent /= 10;
    } while (exponent > 0);
    while (count > 0) text[length++] = reversed[--count];
    text[length] = '\0';

    std::fenv_t held;
    std::feholdexcept(&held);
    const double magnitude = std::strtod(text, nullptr);
    std::fesetenv(&held);
    if (std::isinf(magnitude)) {
        error_ = 6102;
        return 0.0;
    }
    return negative_ ? -magnitude : magnitude;
}

}  // namespace gscmerge::textio
