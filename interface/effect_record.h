// The binary face of one effect instance: the record a host holds as its
// handle, the function types stored in it, and the host's callback type.
//
// The layout is fixed by the plug-in interface, so every offset is checked at
// compile time. Two forms exist, chosen by pointer width: the 144-byte record
// of 32-bit hosts (every field 4 bytes, no padding) and the 192-byte record of
// 64-bit hosts (natural alignment, pointer-sized reserved fields).
#pragma once

#include <cstddef>
#include <cstdint>

// Entry points use the platform's C calling convention; on 32-bit Windows
// that has to be spelled out, since hosts call with cdecl.
#if defined(_WIN32) && defined(__i386__)
#define PLUGIN_CALL __cdecl
#else
#define PLUGIN_CALL
#endif

struct EffectRecord;

// The host's function for requests from the effect: (record, request, index,
// value, ptr, opt). The record is null in the version request sent by `main`.
using HostCallback = std::intptr_t(PLUGIN_CALL*)(EffectRecord* effect, std::int32_t request,
                                                 std::int32_t index, std::intptr_t value, void* ptr,
                                                 float opt);

using DispatcherProc = std::intptr_t(PLUGIN_CALL*)(EffectRecord* effect, std::int32_t opcode,
                                                   std::int32_t index, std::intptr_t value,
                                                   void* ptr, float opt);
using ProcessProc = void(PLUGIN_CALL*)(EffectRecord* effect, float** inputs, float** outputs,
                                       std::int32_t frames);
using SetParameterProc = void(PLUGIN_CALL*)(EffectRecord* effect, std::int32_t index, float value);
using GetParameterProc = float(PLUGIN_CALL*)(EffectRecord* effect, std::int32_t index);

// Four-character code with the first character in the most significant byte.
constexpr std::int32_t fourCharCode(const char (&code)[5]) {
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) << 24) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 16) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 8) |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(code[3])));
}

inline constexpr std::int32_t kRecordMagic = fourCharCode("VstP");       // 0x56737450
inline constexpr std::int32_t kDefaultUniqueId = fourCharCode("NoEf");   // 0x4E6F4566
inline constexpr std::int32_t kIdentifyAnswer = fourCharCode("NvEf");    // 0x4E764566

// Bit values of EffectRecord::flags.
enum EffectFlag : std::int32_t {
    kFlagHasEditor = 1,  // the plug-in opens an editor window of its own (this one never does)
    kFlagHasClip = 2,
    kFlagHasVu = 4,
    kFlagCanMono = 8,
    kFlagCanReplacing = 16,
    kFlagProgramChunks = 32,
};

struct EffectRecord {
    std::int32_t magic;
#if UINTPTR_MAX > 0xFFFFFFFFu
    std::int32_t padAfterMagic;
#endif
    DispatcherProc dispatcher;
    ProcessProc process;
    SetParameterProc setParameter;
    GetParameterProc getParameter;
    std::int32_t numPrograms;
    std::int32_t numParams;
    std::int32_t numInputs;
    std::int32_t numOutputs;
    std::int32_t flags;
#if UINTPTR_MAX > 0xFFFFFFFFu
    std::int32_t padAfterFlags;
#endif
    std::intptr_t reserved1;
    std::intptr_t reserved2;
    std::int32_t initialDelay;
    std::int32_t realtimeQualities;
    std::int32_t offlineQualities;
    float ioRatio;
    void* object;
    void* user;
    std::int32_t uniqueId;
    std::int32_t version;
    ProcessProc processReplacing;
    unsigned char reservedTail[sizeof(void*) == 4 ? 60 : 64];
};

#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(offsetof(EffectRecord, magic) == 0);
static_assert(offsetof(EffectRecord, dispatcher) == 8);
static_assert(offsetof(EffectRecord, process) == 16);
static_assert(offsetof(EffectRecord, setParameter) == 24);
static_assert(offsetof(EffectRecord, getParameter) == 32);
static_assert(offsetof(EffectRecord, numPrograms) == 40);
static_assert(offsetof(EffectRecord, numParams) == 44);
static_assert(offsetof(EffectRecord, numInputs) == 48);
static_assert(offsetof(EffectRecord, numOutputs) == 52);
static_assert(offsetof(EffectRecord, flags) == 56);
static_assert(offsetof(EffectRecord, reserved1) == 64);
static_assert(offsetof(EffectRecord, reserved2) == 72);
static_assert(offsetof(EffectRecord, initialDelay) == 80);
static_assert(offsetof(EffectRecord, realtimeQualities) == 84);
static_assert(offsetof(EffectRecord, offlineQualities) == 88);
static_assert(offsetof(EffectRecord, ioRatio) == 92);
static_assert(offsetof(EffectRecord, object) == 96);
static_assert(offsetof(EffectRecord, user) == 104);
static_assert(offsetof(EffectRecord, uniqueId) == 112);
static_assert(offsetof(EffectRecord, version) == 116);
static_assert(offsetof(EffectRecord, processReplacing) == 120);
static_assert(offsetof(EffectRecord, reservedTail) == 128);
static_assert(sizeof(EffectRecord) == 192);
#else
static_assert(sizeof(void*) == 4);
static_assert(offsetof(EffectRecord, magic) == 0);
static_assert(offsetof(EffectRecord, dispatcher) == 4);
static_assert(offsetof(EffectRecord, process) == 8);
static_assert(offsetof(EffectRecord, setParameter) == 12);
static_assert(offsetof(EffectRecord, getParameter) == 16);
static_assert(offsetof(EffectRecord, numPrograms) == 20);
static_assert(offsetof(EffectRecord, numParams) == 24);
static_assert(offsetof(EffectRecord, numInputs) == 28);
static_assert(offsetof(EffectRecord, numOutputs) == 32);
static_assert(offsetof(EffectRecord, flags) == 36);
static_assert(offsetof(EffectRecord, reserved1) == 40);
static_assert(offsetof(EffectRecord, reserved2) == 44);
static_assert(offsetof(EffectRecord, initialDelay) == 48);
static_assert(offsetof(EffectRecord, realtimeQualities) == 52);
static_assert(offsetof(EffectRecord, offlineQualities) == 56);
static_assert(offsetof(EffectRecord, ioRatio) == 60);
static_assert(offsetof(EffectRecord, object) == 64);
static_assert(offsetof(EffectRecord, user) == 68);
static_assert(offsetof(EffectRecord, uniqueId) == 72);
static_assert(offsetof(EffectRecord, version) == 76);
static_assert(offsetof(EffectRecord, processReplacing) == 80);
static_assert(offsetof(EffectRecord, reservedTail) == 84);
static_assert(sizeof(EffectRecord) == 144);
#endif

// The signature of the exported `main`.
using PluginMainProc = EffectRecord*(PLUGIN_CALL*)(HostCallback host);

// Requests an effect can send to its host.
enum HostRequest : std::int32_t {
    kRequestAutomate = 0,
    kRequestVersion = 1,
    kRequestCurrentUniqueId = 2,
    kRequestIdle = 3,
    kRequestPinConnected = 4,
};

// Dispatcher opcodes of interface version 1.0.
enum Opcode : std::int32_t {
    kOpOpen = 0,
    kOpClose = 1,
    kOpSetProgram = 2,
    kOpGetProgram = 3,
    kOpSetProgramName = 4,
    kOpGetProgramName = 5,
    kOpGetParamLabel = 6,
    kOpGetParamDisplay = 7,
    kOpGetParamName = 8,
    kOpGetVu = 9,
    kOpSetSampleRate = 10,
    kOpSetBlockSize = 11,
    kOpMainsChanged = 12,
    kOpEditGetRect = 13,
    kOpEditOpen = 14,
    kOpEditClose = 15,
    kOpEditIdle = 19,
    kOpIdentify = 22,
    kOpGetChunk = 23,
    kOpSetChunk = 24,
};

// Widths of the texts exchanged with the host, terminator excluded.
inline constexpr std::size_t kParamNameWidth = 13;
inline constexpr std::size_t kParamLabelWidth = 9;
inline constexpr std::size_t kParamDisplayWidth = 8;
inline constexpr std::size_t kProgramNameWidth = 23;
