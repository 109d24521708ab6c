#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "loader/plugin_instance.h"
#include "loader/plugin_library.h"

namespace {

std::string refusal(const std::string& path) {
    try {
        PluginInstance::create(PluginLibrary::open(path));
    } catch (const PluginError& error) {
        return error.what();
    }
    return {};
}

TEST(Loader, MainAsksForTheHostVersionFirst) {
    auto host = std::make_shared<HostSide>(2400, HostSide::Log::kept);
    auto instance = PluginInstance::create(PluginLibrary::open(GAIN_PLUGIN), host);
    const auto requests = host->requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].effect, nullptr);
    EXPECT_EQ(requests[0].request, kRequestVersion);
    EXPECT_EQ(requests[0].index, 0);
    EXPECT_EQ(requests[0].value, 0);
    EXPECT_EQ(requests[0].opt, 0.0f);
}

TEST(Loader, HostAnsweringZeroGetsNothingAndIsAskedOnce) {
    auto library = PluginLibrary::open(GAIN_PLUGIN);
    auto host = std::make_shared<HostSide>(0, HostSide::Log::kept);
    EXPECT_THROW(PluginInstance::create(library, host), PluginError);
    ASSERT_EQ(host->requests().size(), 1u);
    EXPECT_EQ(host->requests()[0].request, kRequestVersion);
    // The raw entry point answers null.
    EXPECT_EQ(library->entry()([](EffectRecord*, std::int32_t, std::int32_t, std::intptr_t, void*,
                                  float) -> std::intptr_t { return 0; }),
              nullptr);
}

TEST(Loader, InstancesAreIndependent) {
    auto library = PluginLibrary::open(GAIN_PLUGIN);
    auto first = PluginInstance::create(library);
    auto second = PluginInstance::create(library);
    EXPECT_NE(first->record(), second->record());
    first->setParameter(0, 0.25f);
    first->setProgram(2);
    first->resume();
    EXPECT_EQ(first->getParameter(0), 0.25f);
    EXPECT_EQ(second->getParameter(0), 0.5f);
    EXPECT_EQ(first->getProgram(), 2);
    EXPECT_EQ(second->getProgram(), 0);
    EXPECT_EQ(first->getParameter(1), 1.0f);
    EXPECT_EQ(second->getParameter(1), 0.0f);
    EXPECT_EQ(first->programName(), "Program 2");
    EXPECT_EQ(second->programName(), "Program 0");
}

TEST(Loader, TypedCallsReachTheEffect) {
    auto instance = PluginInstance::create(PluginLibrary::open(GAIN_PLUGIN));
    EXPECT_EQ(instance->record()->uniqueId, fourCharCode("tGai"));
    EXPECT_EQ(instance->numParams(), 2);
    EXPECT_EQ(instance->numPrograms(), 3);
    EXPECT_EQ(instance->parameterName(0), "Gain");
    EXPECT_EQ(instance->parameterLabel(0), "");
    instance->setProgram(3);  // beyond the bank: ignored
    EXPECT_EQ(instance->getProgram(), 0);
    instance->setProgram(-2);
    EXPECT_EQ(instance->getProgram(), 0);
    const TextReading none = instance->readText(kOpGetParamName, 5, 13);
    EXPECT_FALSE(none.touched);

    float left[4] = {1, 2, 3, 4}, right[4] = {-1, -2, -3, -4};
    float outLeft[4] = {10, 10, 10, 10}, outRight[4] = {};
    float* in[] = {left, right};
    float* out[] = {outLeft, outRight};
    instance->setParameter(0, 0.25f);  // gain 0.5
    instance->process(in, out, 4);
    EXPECT_EQ(outLeft[3], 12.0f);
    instance->processReplacing(in, out, 4);
    EXPECT_EQ(outLeft[3], 2.0f);
    EXPECT_EQ(outRight[1], -1.0f);
}

TEST(Loader, RefusesWhatIsNotAPlugin) {
    EXPECT_NE(refusal("/nonexistent/plugin.so").find("does not exist"), std::string::npos);

    const auto text = std::filesystem::temp_directory_path() / "not-a-library.so";
    std::ofstream(text) << "just some text\n";
    EXPECT_NE(refusal(text.string()).find("cannot be loaded"), std::string::npos);
    std::filesystem::remove(text);

    EXPECT_NE(refusal(std::filesystem::temp_directory_path().string()).find("folder"), std::string::npos);
    EXPECT_NE(refusal(NO_MAIN_LIBRARY).find("no 'main'"), std::string::npos);
    EXPECT_NE(refusal(BAD_MAGIC_PLUGIN).find("magic"), std::string::npos);

    auto library = PluginLibrary::open(GAIN_PLUGIN);
    try {
        PluginInstance::create(library, std::make_shared<HostSide>(0));
        FAIL() << "a host answering 0 must get no instance";
    } catch (const PluginError& error) {
        EXPECT_NE(std::string(error.what()).find("refused"), std::string::npos);
    }
}

}  // namespace
