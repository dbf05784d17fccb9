// The program's one integer conversion, used for the quality text and for the
// integers of the settings file.

#include <gtest/gtest.h>

#include <optional>

#include "common/errors.h"
#include "settings/intconv.h"

namespace {

struct ConversionCase {
    QString text;
    std::optional<qint32> expected;
};

const ConversionCase kCases[] = {
    // The quality field as users fill it.
    {"", std::nullopt},
    {" 80", 80},
    {"80 ", std::nullopt},
    {"$50", 80},
    {"0x4051", 16465},
    {"101", 101},
    {"-1", -1},
    {"+7", 7},
    {"abc", std::nullopt},
    {"50", 50},
    {"0", 0},
    {"007", 7},
    {"   -12", -12},
    // Signs and markers.
    {"-", std::nullopt},
    {"+", std::nullopt},
    {"  ", std::nullopt},
    {"$", std::nullopt},
    {"x", std::nullopt},
    {"0x", std::nullopt},
    {"0X", std::nullopt},
    {"-$", std::nullopt},
    {"--1", std::nullopt},
    {"+-1", std::nullopt},
    {"- 1", std::nullopt},
    {"x1F", 31},
    {"X1f", 31},
    {"0XaBcD", 0xABCD},
    {"-$10", -16},
    {"+0x10", 16},
    {"$$1", std::nullopt},
    {"0x0x1", std::nullopt},
    {"$g", std::nullopt},
    {"1x2", std::nullopt},
    {"00x1", std::nullopt},
    // The 32-bit range: decimal must fit, hex is a pattern that wraps.
    {"2147483647", 2147483647},
    {"2147483648", std::nullopt},
    {"-2147483648", qint32(-2147483647 - 1)},
    {"-2147483649", std::nullopt},
    {"99999999999999999999", std::nullopt},
    {"00000000000000000000042", 42},
    {"$7FFFFFFF", 2147483647},
    {"$80000000", qint32(-2147483647 - 1)},
    {"$FFFFFFFF", -1},
    {"-$FFFFFFFF", 1},
    {"-$80000000", qint32(-2147483647 - 1)},
    {"$00000001", 1},
    {"$100000000", std::nullopt},
    {"$000000001", std::nullopt},
    // Only the space character is skipped, and nothing may follow.
    {"\t5", std::nullopt},
    {"5\t", std::nullopt},
    {"\n5", std::nullopt},
    {QString::fromUtf16(u"\u30005"), std::nullopt},  // ideographic space
    {QString::fromUtf16(u"\uFF15"), std::nullopt},   // full-width five
    {QString::fromUtf16(u"\u0665"), std::nullopt},   // Arabic-Indic five
    {QString::fromUtf16(u"5\0" "1", 3), std::nullopt},
    {QString::fromUtf16(u"\0" "5", 2), std::nullopt},
    {QString::fromUtf16(u"$1\0", 3), std::nullopt},
    {"1.0", std::nullopt},
    {"1e3", std::nullopt},
    {"1,000", std::nullopt},
};

}  // namespace

TEST(IntegerConversion, Table)
{
    for (const ConversionCase& c : kCases) {
        SCOPED_TRACE(testing::Message() << "text \"" << c.text.toStdString() << "\" ("
                                        << c.text.size() << " chars)");
        EXPECT_EQ(TryStrToInt(c.text), c.expected);
        if (c.expected) {
            EXPECT_EQ(StrToInt(c.text), *c.expected);
        } else {
            try {
                StrToInt(c.text);
                ADD_FAILURE() << "StrToInt accepted it";
            } catch (const EConvertError& e) {
                // Whole, also past an embedded U+0000.
                EXPECT_EQ(e.Message(), "'" + c.text + "' is not a valid integer value");
            }
        }
    }
}

TEST(IntegerConversion, ErrorIsAnEError)
{
    // The application's error box catches EError; the conversion's error must be one.
    EXPECT_THROW(StrToInt(QStringLiteral("12a")), EError);
    try {
        StrToInt(QStringLiteral("质量"));
        ADD_FAILURE();
    } catch (const EError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'质量' is not a valid integer value"));
    }
}
