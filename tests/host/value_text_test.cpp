#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "host/effect_base.h"
#include "host/value_text.h"

namespace {

class TextEffect : public EffectBase {
public:
    TextEffect() : EffectBase(nullptr, 1, 1) {}
    void process(float**, float**, std::int32_t) override {}
};

constexpr char kSentinel = '#';

// Runs one conversion into a buffer full of sentinels and returns the text,
// failing when more than 9 bytes were touched or the text is unterminated.
template <typename Convert>
std::string converted(Convert convert) {
    char buffer[32];
    std::memset(buffer, kSentinel, sizeof buffer);
    convert(buffer);
    const void* end = std::memchr(buffer, '\0', 9);
    EXPECT_NE(end, nullptr) << "no terminator within 9 bytes";
    for (std::size_t i = 9; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], kSentinel) << "byte " << i << " written";
    return end != nullptr ? std::string(buffer) : std::string();
}

struct Example {
    float value;
    const char* text;
};

TEST(FormatFloat, ExamplesCutTheFractionAndKeepEightCharacters) {
    TextEffect effect;
    const Example examples[] = {
        {0.0f, "0.000000"},      {-0.0f, "0.000000"},     {0.25f, "0.250000"},    {0.7f, "0.699999"},
        {12.34f, "12.34000"},    {123.456f, "123.4560"},  {44100.0f, "44100.00"}, {1234567.0f, "1234567."},
        {-0.25f, "-0.25000"},    {-12.04f, "-12.0399"},   {-0.000001f, "-0.00000"}, {-123456.0f, "-123456."},
        {1.0e8f, " Huge!  "},    {-1.0e7f, " Huge!  "},   {3.0e38f, " Huge!  "},  {-3.0e38f, " Huge!  "},
    };
    for (const auto& example : examples) {
        EXPECT_EQ(converted([&](char* t) { effect.formatFloat(example.value, t); }), example.text)
            << "value " << example.value;
    }
}

TEST(FormatFloat, WholeNumbersThatFillTheFieldDropThePoint) {
    TextEffect effect;
    EXPECT_EQ(converted([&](char* t) { effect.formatFloat(12345678.0f, t); }), "12345678");
    EXPECT_EQ(converted([&](char* t) { effect.formatFloat(99999999.0f, t); }), " Huge!  ");  // float 1e8
    EXPECT_EQ(converted([&](char* t) { effect.formatFloat(-1234567.0f, t); }), "-1234567");
    EXPECT_EQ(converted([&](char* t) { effect.formatFloat(9999999.0f, t); }), "9999999.");
}

TEST(FormatFloat, OverflowReplacesWhateverTheBufferHeld) {
    TextEffect effect;
    char buffer[16] = "previous text";
    effect.formatFloat(1.0e9f, buffer);
    EXPECT_STREQ(buffer, " Huge!  ");
}

TEST(FormatFloat, NonNumbersAndTinyValuesStayWithinTheField) {
    TextEffect effect;
    EXPECT_EQ(converted([&](char* t) { effect.formatFloat(NAN, t); }), "  NaN   ");
    EXPECT_EQ(converted([&](char* t) { effect.formatFloat(INFINITY, t); }), " Huge!  ");
    EXPECT_EQ(converted([&](char* t) { effect.formatFloat(-INFINITY, t); }), " Huge!  ");
    EXPECT_EQ(converted([&](char* t) { effect.formatFloat(std::numeric_limits<float>::denorm_min(), t); }),
              "0.000000");
    EXPECT_EQ(converted([&](char* t) { effect.formatFloat(-std::numeric_limits<float>::denorm_min(), t); }),
              "-0.00000");
    EXPECT_EQ(converted([&](char* t) { effect.formatFloat(0.99999994f, t); }), "0.999999");
}

TEST(FormatDecibels, LevelsInDecibels) {
    TextEffect effect;
    const Example examples[] = {
        {1.0f, "0.000000"}, {2.0f, "6.020599"},  {4.0f, "12.04119"}, {0.5f, "-6.02059"},
        {0.0f, "  -oo   "}, {-1.0f, "  -oo   "}, {NAN, "  NaN   "},  {INFINITY, " Huge!  "},
        {std::numeric_limits<float>::denorm_min(), "-897.069"},
    };
    for (const auto& example : examples) {
        EXPECT_EQ(converted([&](char* t) { effect.formatDecibels(example.value, t); }), example.text)
            << "value " << example.value;
    }
}

TEST(FormatHertzAndMilliseconds, UseTheSampleRate) {
    TextEffect effect;
    EXPECT_EQ(converted([&](char* t) { effect.formatHertz(100.0f, t); }), "441.0000");
    EXPECT_EQ(converted([&](char* t) { effect.formatHertz(44100.0f, t); }), "1.000000");
    EXPECT_EQ(converted([&](char* t) { effect.formatHertz(0.0f, t); }), "0.000000");
    EXPECT_EQ(converted([&](char* t) { effect.formatHertz(1e-30f, t); }), " Huge!  ");
    EXPECT_EQ(converted([&](char* t) { effect.formatMilliseconds(44100.0f, t); }), "1000.000");
    EXPECT_EQ(converted([&](char* t) { effect.formatMilliseconds(100.0f, t); }), "2.267573");
    EXPECT_EQ(converted([&](char* t) { effect.formatMilliseconds(1.0f, t); }), "0.022675");
    effect.setSampleRate(0.0f);
    EXPECT_EQ(converted([&](char* t) { effect.formatMilliseconds(1.0f, t); }), " Huge!  ");
    EXPECT_EQ(converted([&](char* t) { effect.formatMilliseconds(0.0f, t); }), "  NaN   ");
}

TEST(FormatInteger, RightAlignedInSevenAtMostEight) {
    TextEffect effect;
    const struct {
        std::int32_t value;
        const char* text;
    } examples[] = {
        {5, "      5"},         {-5, "     -5"},        {0, "      0"},          {1234567, "1234567"},
        {12345678, "12345678"}, {99999999, "99999999"}, {-9999999, "-9999999"}, {100000000, " Huge!  "},
        {INT32_MAX, " Huge!  "}, {-10000000, " Huge!  "}, {INT32_MIN, " Huge!  "},
    };
    for (const auto& example : examples) {
        EXPECT_EQ(converted([&](char* t) { effect.formatInteger(example.value, t); }), example.text)
            << "value " << example.value;
    }
}

TEST(FormatFloat, EveryValueOfASweepFitsItsField) {
    TextEffect effect;
    // Every 16411th bit pattern covers each exponent, both signs and NaNs.
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 16411) {
        float value;
        const auto pattern = static_cast<std::uint32_t>(bits);
        std::memcpy(&value, &pattern, sizeof value);
        const std::string text = converted([&](char* t) { effect.formatFloat(value, t); });
        ASSERT_EQ(text.size(), 8u) << "bits " << pattern;
        const std::string decibels = converted([&](char* t) { effect.formatDecibels(value, t); });
        ASSERT_EQ(decibels.size(), 8u) << "bits " << pattern;
    }
}

}  // namespace
