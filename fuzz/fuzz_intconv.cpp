// TryStrToInt against a second reading of the rule written here from its
// wording, and StrToInt's exception against TryStrToInt.
//
// The rule: spaces (U+0020 only) may lead; then an optional + or -; then
// either decimal digits whose signed value fits in 32 bits, or a hex marker
// ($, x, X, 0x, 0X) and one to eight hex digits taken as a signed 32-bit
// pattern, a minus negating that pattern with wrap-around. Nothing may follow.

#include "fuzzcommon.h"
#include "common/errors.h"
#include "settings/intconv.h"

#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>

using fuzz::Show;

namespace {

// Narrows the text after the sign to ASCII (nothing else can be part of a
// number), finds the form by its first characters, then leaves the digits to
// std::from_chars in a wide enough type.
std::optional<qint32> Expected(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::string rest;
    for (; i < text.size(); ++i) {
        if (text[i].unicode() > 0x7F)
            return std::nullopt;
        rest += char(text[i].unicode());
    }

    std::string_view digits = rest;
    bool hex = false;
    if (digits.starts_with('$') || digits.starts_with('x') || digits.starts_with('X')) {
        hex = true;
        digits.remove_prefix(1);
    } else if (digits.starts_with("0x") || digits.starts_with("0X")) {
        hex = true;
        digits.remove_prefix(2);
    }
    if (digits.empty())
        return std::nullopt;

    const std::string_view allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.find_first_not_of(allowed) != std::string_view::npos)
        return std::nullopt;

    if (hex) {
        if (digits.size() > 8)
            return std::nullopt;
        std::uint32_t pattern = 0;
        const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), pattern, 16);
        FUZZ_CHECK(r.ec == std::errc() && r.ptr == digits.data() + digits.size(), "oracle: hex digits");
        if (negative)
            pattern = 0u - pattern;
        return std::bit_cast<std::int32_t>(pattern);
    }

    const std::size_t nonZero = digits.find_first_not_of('0');
    digits.remove_prefix(nonZero == std::string_view::npos ? digits.size() - 1 : nonZero);
    if (digits.size() > 10)
        return std::nullopt;
    std::int64_t magnitude = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, 10);
    FUZZ_CHECK(r.ec == std::errc() && r.ptr == digits.data() + digits.size(), "oracle: decimal digits");
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<qint32>(value);
}

std::string ShowInt(std::optional<qint32> v)
{
    return v ? std::to_string(*v) : std::string("failure");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = fuzz::Units(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    const std::optional<qint32> expected = Expected(text);
    const std::optional<qint32> got = TryStrToInt(text);
    FUZZ_CHECK(got == expected, "TryStrToInt(" + Show(text) + ") gave " + ShowInt(got) + ", the rule says " + ShowInt(expected));

    try {
        const qint32 v = StrToInt(text);
        FUZZ_CHECK(expected.has_value(), "StrToInt(" + Show(text) + ") returned " + std::to_string(v) +
                                        " where TryStrToInt fails");
        FUZZ_CHECK(v == *expected, "StrToInt(" + Show(text) + ") returned " + std::to_string(v) + ", TryStrToInt " +
                                  ShowInt(expected));
    } catch (const EConvertError& e) {
        FUZZ_CHECK(!expected.has_value(), "StrToInt(" + Show(text) + ") threw where TryStrToInt gives " +
                                         ShowInt(expected));
        const QString want = u'\'' + text + QStringLiteral("' is not a valid integer value");
        FUZZ_CHECK(e.Message() == want, "StrToInt(" + Show(text) + ") threw the message " + Show(e.Message()) +
                                       ", not " + Show(want));
    } catch (...) {
        fuzz::Fail("StrToInt(" + Show(text) + ") threw something other than EConvertError");
    }
    return 0;
}
