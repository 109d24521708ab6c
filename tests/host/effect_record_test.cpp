#include <gtest/gtest.h>

#include <cstring>

#include "host/effect_base.h"
#include "host/entry.h"

namespace {

class BareEffect : public EffectBase {
public:
    BareEffect() : EffectBase(nullptr, 5, 7) {}
    void process(float**, float**, std::int32_t) override {}
};

bool allZero(const unsigned char* bytes, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

TEST(EffectRecord, FreshRecordHasTheInterfaceLayout) {
    BareEffect effect;
    const EffectRecord* record = effect.getRecord();
    const auto* bytes = reinterpret_cast<const unsigned char*>(record);

    EXPECT_EQ(bytes[0], 0x50);  // 'P': the code's last character, least significant byte first
    EXPECT_EQ(bytes[1], 0x74);
    EXPECT_EQ(bytes[2], 0x73);
    EXPECT_EQ(bytes[3], 0x56);
    EXPECT_EQ(record->magic, 0x56737450);
    EXPECT_EQ(record->numPrograms, 5);
    EXPECT_EQ(record->numParams, 7);
    EXPECT_EQ(record->numInputs, 1);
    EXPECT_EQ(record->numOutputs, 2);
    EXPECT_EQ(record->flags, 0);
    EXPECT_EQ(record->ioRatio, 1.0f);
    EXPECT_EQ(record->version, 1);
    EXPECT_EQ(record->uniqueId, 0x4E6F4566);
    EXPECT_EQ(record->user, nullptr);
    EXPECT_EQ(record->dispatcher, &dispatchEntry);
    EXPECT_EQ(record->process, &processEntry);
    EXPECT_EQ(record->setParameter, &setParameterEntry);
    EXPECT_EQ(record->getParameter, &getParameterEntry);
    EXPECT_EQ(record->processReplacing, &processReplacingEntry);

    // Reserved ranges and padding are zero.
    if constexpr (sizeof(void*) == 4) {
        EXPECT_TRUE(allZero(bytes, 40, 48));
        EXPECT_TRUE(allZero(bytes, 84, 144));
    } else {
        EXPECT_TRUE(allZero(bytes, 4, 8));
        EXPECT_TRUE(allZero(bytes, 60, 80));
        EXPECT_TRUE(allZero(bytes, 80, 92));  // initial delay and qualities
        EXPECT_TRUE(allZero(bytes, 128, 192));
    }
}

TEST(EffectRecord, ObjectPointsAtTheEffectThatContainsTheRecord) {
    BareEffect effect;
    const EffectRecord* record = effect.getRecord();
    const auto* begin = reinterpret_cast<const unsigned char*>(&effect);
    const auto* at = reinterpret_cast<const unsigned char*>(record);
    EXPECT_GE(at, begin);
    EXPECT_LE(at + sizeof(EffectRecord), begin + sizeof effect);
    EXPECT_EQ(record->object, static_cast<void*>(static_cast<EffectBase*>(&effect)));
    EXPECT_NE(record->object, static_cast<const void*>(record));
}

TEST(EffectRecord, FourCharacterCodesPutTheFirstCharacterHighest) {
    EXPECT_EQ(fourCharCode("VstP"), 0x56737450);
    EXPECT_EQ(fourCharCode("NoEf"), 0x4E6F4566);
    EXPECT_EQ(fourCharCode("NvEf"), 0x4E764566);
    EXPECT_EQ(fourCharCode("Qz7v"), 0x517A3776);
}

}  // namespace
