#include "host/value_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/effect_base.h"

namespace {

constexpr std::size_t kFieldWidth = 8;             // characters of every conversion's text
constexpr double kLargestPositive = 99999999.0;    // above this, " Huge!  "
constexpr double kLargestNegative = 9999999.0;     // magnitude; above this, " Huge!  "
constexpr std::int32_t kIntegerLimit = 100000000;  // formatInteger: from here on " Huge!  "
constexpr std::int32_t kIntegerLowest = -9999999;  // formatInteger: below this " Huge!  "

// Writes the decimal digits of `whole` (< 10^8), most significant first;
// returns how many.
std::size_t writeDigits(char* out, std::uint32_t whole) {
    char reversed[10];
    std::size_t count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    for (std::size_t i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
    return count;
}

}  // namespace

void writeText(char* dest, std::string_view text, std::size_t width) {
    const std::size_t count = text.size() < width ? text.size() : width;
    std::memcpy(dest, text.data(), count);
    dest[count] = '\0';
}

void EffectBase::formatFloat(float value, char* text) {
    if (std::isnan(value)) {
        writeText(text, kNotANumberText, kFieldWidth);
        return;
    }
    const bool negative = value < 0.0f;
    const double magnitude = std::fabs(static_cast<double>(value));
    if (magnitude > (negative ? kLargestNegative : kLargestPositive)) {
        writeText(text, kHugeText, kFieldWidth);
        return;
    }
    char out[kFieldWidth + 1];
    std::size_t length = 0;
    if (negative) out[length++] = '-';
    const double whole = std::floor(magnitude);
    length += writeDigits(out + length, static_cast<std::uint32_t>(whole));
    // A whole number that takes all 8 characters is shown without the point.
    if (length < kFieldWidth) out[length++] = '.';
    const std::size_t fractionDigits = kFieldWidth - length;
    if (fractionDigits > 0) {
        std::uint32_t scale = 1;
        for (std::size_t i = 0; i < fractionDigits; ++i) scale *= 10;
        const double scaled = (magnitude - whole) * static_cast<double>(scale);
        auto fraction = static_cast<std::uint32_t>(std::floor(scaled));
        if (fraction >= scale) fraction = scale - 1;
        for (std::size_t i = fractionDigits; i > 0; --i) {
            out[length + i - 1] = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        length += fractionDigits;
    }
    out[length] = '\0';
    std::memcpy(text, out, length + 1);
}

void EffectBase::formatDecibels(float value, char* text) {
    if (std::isnan(value)) {
        writeText(text, kNotANumberText, kFieldWidth);
    } else if (value > 0.0f) {
        formatFloat(static_cast<float>(20.0 * std::log10(static_cast<double>(value))), text);
    } else {
        writeText(text, kMinusInfinityText, kFieldWidth);
    }
}

void EffectBase::formatHertz(float value, char* text) {
    const float rate = getSampleRate();
    if (value == 0.0f) {
        formatFloat(0.0f, text);
    } else {
        formatFloat(static_cast<float>(static_cast<double>(rate) / value), text);
    }
}

void EffectBase::formatMilliseconds(float value, char* text) {
    // A sample rate of 0 gives an infinite duration (" Huge!  "), or NaN
    // for a duration of 0; both are texts formatFloat has.
    const double product = static_cast<double>(value) * 1000.0;
    formatFloat(static_cast<float>(product / static_cast<double>(getSampleRate())), text);
}

void EffectBase::formatInteger(std::int32_t value, char* text) {
    if (value >= kIntegerLimit || value < kIntegerLowest) {
        writeText(text, kHugeText, kFieldWidth);
        return;
    }
    char out[16];
    std::snprintf(out, sizeof out, "%7d", static_cast<int>(value));
    writeText(text, out, kFieldWidth);
}
