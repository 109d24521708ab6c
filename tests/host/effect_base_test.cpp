#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "host/effect_base.h"
#include "host/entry.h"

namespace {

// An effect that records what the dispatcher makes of each opcode.
class RecordingEffect : public EffectBase {
public:
    explicit RecordingEffect(HostCallback host = nullptr, std::int32_t programs = 4)
        : EffectBase(host, programs, 3) {}
    ~RecordingEffect() override { ++destroyed; }

    void process(float**, float**, std::int32_t) override {}
    void setParameter(std::int32_t index, float value) override { parameters.push_back({index, value}); }
    void setProgram(std::int32_t program) override {
        programsSet.push_back(program);
        EffectBase::setProgram(program);
    }
    void suspend() override { ++suspends; }
    void resume() override { ++resumes; }
    void close() override { ++closes; }
    float getVu() override { return vu; }
    std::int32_t getChunk(void* ptr, bool isPreset) override {
        chunkPtr = ptr;
        chunkPreset = isPreset;
        return 77;
    }
    std::int32_t setChunk(void* ptr, std::int32_t byteSize, bool isPreset) override {
        chunkPtr = ptr;
        chunkSize = byteSize;
        chunkPreset = isPreset;
        return 88;
    }

    struct Set {
        std::int32_t index;
        float value;
    };
    std::vector<Set> parameters;
    std::vector<std::int32_t> programsSet;
    int suspends = 0;
    int resumes = 0;
    int closes = 0;
    float vu = 0.0f;
    void* chunkPtr = nullptr;
    std::int32_t chunkSize = 0;
    bool chunkPreset = false;
    static inline int destroyed = 0;
};

// A host that records its requests and answers with `answer`.
struct RecordedRequest {
    EffectRecord* effect;
    std::int32_t request;
    std::int32_t index;
    std::intptr_t value;
    void* ptr;
    float opt;
};
std::vector<RecordedRequest> requests;
std::intptr_t answer = 0;

std::intptr_t PLUGIN_CALL recordingHost(EffectRecord* effect, std::int32_t request, std::int32_t index,
                                        std::intptr_t value, void* ptr, float opt) {
    requests.push_back({effect, request, index, value, ptr, opt});
    return answer;
}

class HostRequests : public ::testing::Test {
protected:
    void SetUp() override {
        requests.clear();
        answer = 0;
    }
};

TEST(Dispatcher, FreshBaseAnswers) {
    RecordingEffect effect;
    EXPECT_EQ(effect.dispatcher(kOpGetProgram, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.dispatcher(kOpGetVu, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.dispatcher(kOpIdentify, 0, 0, nullptr, 0.0f), 0x4E764566);
    for (std::int32_t unhandled : {16, 17, 18, 20, 21, 25, 26, 1000, -1, INT32_MIN}) {
        EXPECT_EQ(effect.dispatcher(unhandled, 1, 1, nullptr, 1.0f), 0) << "opcode " << unhandled;
    }
    // Without an editor the editor opcodes answer 0.
    for (std::int32_t editorOp : {13, 14, 15, 19}) {
        char scratch[16] = {};
        EXPECT_EQ(effect.dispatcher(editorOp, 0, 0, scratch, 0.0f), 0);
    }
    EXPECT_TRUE(effect.programsSet.empty());
    EXPECT_EQ(effect.suspends + effect.resumes, 0);
}

TEST(Dispatcher, SetProgramIsBoundedOnBothEnds) {
    RecordingEffect effect;
    EXPECT_EQ(effect.dispatcher(kOpSetProgram, 0, 3, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.dispatcher(kOpGetProgram, 0, 0, nullptr, 0.0f), 3);
    EXPECT_EQ(effect.dispatcher(kOpSetProgram, 0, 4, nullptr, 0.0f), 0);  // numPrograms
    EXPECT_EQ(effect.dispatcher(kOpSetProgram, 0, -1, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.dispatcher(kOpSetProgram, 0, INTPTR_MIN, nullptr, 0.0f), 0);
    EXPECT_EQ(effect.programsSet, std::vector<std::int32_t>{3});
    EXPECT_EQ(effect.dispatcher(kOpGetProgram, 0, 0, nullptr, 0.0f), 3);
}

TEST(Dispatcher, MainsSwitchSuspendsOnlyOnZero) {
    RecordingEffect effect;
    effect.dispatcher(kOpMainsChanged, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(effect.suspends, 1);
    for (std::intptr_t on : {1, -1, 2, 256}) effect.dispatcher(kOpMainsChanged, 0, on, nullptr, 0.0f);
    EXPECT_EQ(effect.suspends, 1);
    EXPECT_EQ(effect.resumes, 4);
}

TEST(Dispatcher, ChunksPassPresetFlagSizeAndPointer) {
    RecordingEffect effect;
    char data[4];
    EXPECT_EQ(effect.dispatcher(kOpGetChunk, 0, 0, data, 0.0f), 77);
    EXPECT_FALSE(effect.chunkPreset);
    EXPECT_EQ(effect.chunkPtr, data);
    EXPECT_EQ(effect.dispatcher(kOpGetChunk, 1, 0, data, 0.0f), 77);
    EXPECT_TRUE(effect.chunkPreset);
    effect.dispatcher(kOpGetChunk, 0, 0, data, 0.0f);
    EXPECT_EQ(effect.dispatcher(kOpGetChunk, -1, 0, data, 0.0f), 77);
    EXPECT_TRUE(effect.chunkPreset);
    EXPECT_EQ(effect.dispatcher(kOpSetChunk, 0, 1234, data + 1, 0.0f), 88);
    EXPECT_EQ(effect.chunkSize, 1234);
    EXPECT_EQ(effect.chunkPtr, data + 1);
    EXPECT_FALSE(effect.chunkPreset);
}

TEST(Dispatcher, SampleRateFromOptBlockSizeFromValue) {
    RecordingEffect effect;
    EXPECT_EQ(effect.getSampleRate(), 44100.0f);
    EXPECT_EQ(effect.getBlockSize(), 1024);
    effect.dispatcher(kOpSetSampleRate, 0, 22050, nullptr, 48000.0f);
    EXPECT_EQ(effect.getSampleRate(), 48000.0f);
    effect.dispatcher(kOpSetBlockSize, 0, 512, nullptr, 99.0f);
    EXPECT_EQ(effect.getBlockSize(), 512);
    EXPECT_EQ(effect.getSampleRate(), 48000.0f);
}

TEST(Dispatcher, VuIsScaledAndTruncated) {
    RecordingEffect effect;
    effect.vu = 0.5f;  // 16383.5
    EXPECT_EQ(effect.dispatcher(kOpGetVu, 0, 0, nullptr, 0.0f), 16383);
    effect.vu = -0.5f;
    EXPECT_EQ(effect.dispatcher(kOpGetVu, 0, 0, nullptr, 0.0f), -16383);
    effect.vu = 1.0f;
    EXPECT_EQ(effect.dispatcher(kOpGetVu, 0, 0, nullptr, 0.0f), 32767);
    for (float hostile : {NAN, INFINITY, -INFINITY, 1e30f}) {
        effect.vu = hostile;
        EXPECT_EQ(effect.dispatcher(kOpGetVu, 0, 0, nullptr, 0.0f), 0);
    }
}

TEST(Dispatcher, DefaultTextsAreEmptyAndNullBuffersAreIgnored) {
    RecordingEffect effect;
    for (std::int32_t opcode : {kOpGetProgramName, kOpGetParamLabel, kOpGetParamDisplay, kOpGetParamName}) {
        char text[8] = "XXXXXXX";
        effect.dispatcher(opcode, 0, 0, text, 0.0f);
        EXPECT_EQ(text[0], '\0');
        EXPECT_EQ(text[1], 'X');
        EXPECT_EQ(effect.dispatcher(opcode, 0, 0, nullptr, 0.0f), 0);
    }
    char name[8] = "Renamed";
    effect.dispatcher(kOpSetProgramName, 0, 0, name, 0.0f);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(effect.dispatcher(kOpSetProgramName, 0, 0, nullptr, 0.0f), 0);
}

TEST(Dispatcher, CloseThroughTheEntryDeletesTheEffectAndAnswersOne) {
    auto* effect = new RecordingEffect;
    const int destroyedBefore = RecordingEffect::destroyed;
    EXPECT_EQ(effect->dispatcher(kOpClose, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(effect->closes, 1);
    EffectRecord* record = effect->getRecord();
    EXPECT_EQ(dispatchEntry(record, kOpClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(RecordingEffect::destroyed, destroyedBefore + 1);
}

TEST(Dispatcher, EntryPointsForwardToTheEffect) {
    RecordingEffect effect;
    EffectRecord* record = effect.getRecord();
    EXPECT_EQ(dispatchEntry(record, kOpIdentify, 0, 0, nullptr, 0.0f), 0x4E764566);
    EXPECT_EQ(dispatchEntry(record, 99, 0, 0, nullptr, 0.0f), 0);
    setParameterEntry(record, 2, 0.75f);
    ASSERT_EQ(effect.parameters.size(), 1u);
    EXPECT_EQ(effect.parameters[0].index, 2);
    EXPECT_EQ(effect.parameters[0].value, 0.75f);
    EXPECT_EQ(getParameterEntry(record, 0), 0.0f);
}

TEST(Flags, EachSetterChangesOnlyItsBit) {
    RecordingEffect effect;
    EffectRecord* record = effect.getRecord();
    effect.hasVu(true);
    effect.hasClip(true);
    EXPECT_EQ(record->flags, 6);
    effect.hasVu(false);
    EXPECT_EQ(record->flags, 2);
    effect.canMono(true);
    effect.canProcessReplacing(true);
    effect.programsAreChunks(true);
    EXPECT_EQ(record->flags, 2 + 8 + 16 + 32);
    effect.hasClip(false);
    effect.programsAreChunks(false);
    EXPECT_EQ(record->flags, 24);
    effect.setNumInputs(2);
    effect.setNumOutputs(6);
    effect.setUniqueID(fourCharCode("Abcd"));
    effect.setInitialDelay(64);
    effect.setRealtimeQualities(3);
    effect.setOfflineQualities(4);
    EXPECT_EQ(record->numInputs, 2);
    EXPECT_EQ(record->numOutputs, 6);
    EXPECT_EQ(record->uniqueId, fourCharCode("Abcd"));
    EXPECT_EQ(record->initialDelay, 64);
    EXPECT_EQ(record->realtimeQualities, 3);
    EXPECT_EQ(record->offlineQualities, 4);
}

TEST_F(HostRequests, WithoutACallbackEachRequestHasItsFixedAnswer) {
    RecordingEffect effect(nullptr);
    EXPECT_EQ(effect.hostVersion(), 1);
    EXPECT_EQ(effect.hostCurrentUniqueId(), 0);
    EXPECT_EQ(effect.hostIdle(), 0);
    EXPECT_TRUE(effect.isInputConnected(0));
    EXPECT_TRUE(effect.isOutputConnected(1));
    effect.setParameterAutomated(1, 0.25f);
    ASSERT_EQ(effect.parameters.size(), 1u);
    EXPECT_TRUE(requests.empty());
}

TEST_F(HostRequests, VersionFallsBackToOneWhenTheHostAnswersZero) {
    RecordingEffect effect(recordingHost);
    EXPECT_EQ(effect.hostVersion(), 1);
    answer = 3;
    EXPECT_EQ(effect.hostVersion(), 3);
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.effect, effect.getRecord());
        EXPECT_EQ(request.request, kRequestVersion);
        EXPECT_EQ(request.index, 0);
        EXPECT_EQ(request.value, 0);
        EXPECT_EQ(request.ptr, nullptr);
        EXPECT_EQ(request.opt, 0.0f);
    }
}

TEST_F(HostRequests, OtherRequestsPassTheHostsAnswer) {
    RecordingEffect effect(recordingHost);
    answer = 0x1234;
    EXPECT_EQ(effect.hostCurrentUniqueId(), 0x1234);
    EXPECT_EQ(effect.hostIdle(), 0x1234);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].request, kRequestCurrentUniqueId);
    EXPECT_EQ(requests[1].request, kRequestIdle);
}

TEST_F(HostRequests, PinConnectedIsTrueOnlyWhenTheHostAnswersZero) {
    RecordingEffect effect(recordingHost);
    EXPECT_TRUE(effect.isInputConnected(1));
    answer = 1;
    EXPECT_FALSE(effect.isInputConnected(1));
    EXPECT_FALSE(effect.isOutputConnected(0));
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].request, kRequestPinConnected);
    EXPECT_EQ(requests[0].index, 1);
    EXPECT_EQ(requests[0].value, 0);  // an input
    EXPECT_EQ(requests[2].index, 0);
    EXPECT_EQ(requests[2].value, 1);  // an output
}

TEST_F(HostRequests, AutomationSetsTheParameterThenTellsTheHost) {
    RecordingEffect effect(recordingHost);
    effect.setParameterAutomated(2, 0.625f);
    ASSERT_EQ(effect.parameters.size(), 1u);
    EXPECT_EQ(effect.parameters[0].value, 0.625f);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].request, kRequestAutomate);
    EXPECT_EQ(requests[0].index, 2);
    EXPECT_EQ(requests[0].value, 0);
    EXPECT_EQ(requests[0].opt, 0.625f);
}

}  // namespace

namespace {

int factoryCalls = 0;

EffectBase* makeRecordingEffect(HostCallback host) {
    ++factoryCalls;
    return new RecordingEffect(host);
}
EffectBase* throwingFactory(HostCallback) {
    ++factoryCalls;
    throw std::bad_alloc();
}

TEST_F(HostRequests, CreateInstanceAsksTheVersionThenCreates) {
    factoryCalls = 0;
    answer = 0;
    EXPECT_EQ(createInstance(recordingHost, makeRecordingEffect), nullptr);
    EXPECT_EQ(factoryCalls, 0);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].effect, nullptr);
    EXPECT_EQ(requests[0].request, kRequestVersion);

    answer = 1;
    EffectRecord* record = createInstance(recordingHost, makeRecordingEffect);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->magic, kRecordMagic);
    EXPECT_EQ(dispatchEntry(record, kOpClose, 0, 0, nullptr, 0.0f), 1);

    EXPECT_EQ(createInstance(recordingHost, throwingFactory), nullptr);
    EXPECT_EQ(createInstance(nullptr, makeRecordingEffect), nullptr);
    EXPECT_EQ(factoryCalls, 2);
}

}  // namespace
