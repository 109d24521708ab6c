#include "dsp/delay_line.h"

#include <algorithm>
#include <memory>

namespace {

constexpr std::int32_t kShortestLength = 2;

}  // namespace

DelayLine::DelayLine(std::int32_t length)
    : buffer(std::make_unique<float[]>(static_cast<std::size_t>(std::max(length, kShortestLength)))),
      writeIndex(0),
      readIndex(1),
      length(std::max(length, kShortestLength)) {
    clear();
}

DelayLine::~DelayLine() = default;

void DelayLine::setDelay(std::int32_t delay) {
    if (delay >= length) delay = length - 1;
    if (delay < 0) delay = 0;
    readIndex = writeIndex - delay;
    if (readIndex < 0) readIndex += length;
}

float DelayLine::tick(float input) {
    buffer[static_cast<std::size_t>(writeIndex)] = input;
    if (++writeIndex == length) writeIndex = 0;
    const float output = buffer[static_cast<std::size_t>(readIndex)];
    if (++readIndex == length) readIndex = 0;
    return output;
}

void DelayLine::clear() { std::fill_n(buffer.get(), length, 0.0f); }
