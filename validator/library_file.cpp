#include "validator/library_file.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

constexpr std::uint16_t kElfMachineX86 = 3;
constexpr std::uint16_t kElfMachineArm = 40;
constexpr std::uint16_t kElfMachineX8664 = 62;
constexpr std::uint16_t kElfMachineArm64 = 183;
constexpr std::uint32_t kElfDynamicSymbols = 11;  // SHT_DYNSYM
constexpr std::uint8_t kElfFunction = 2;          // STT_FUNC
constexpr std::uint16_t kPeMachineX86 = 0x14C;
constexpr std::uint16_t kPeMachineX8664 = 0x8664;
constexpr std::uint16_t kPeMachineArm64 = 0xAA64;
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 30;

// A whole file in memory with bounds-checked reads of little-endian values.
class Bytes {
public:
    explicit Bytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        if (!in) return;
        const auto size = static_cast<std::streamoff>(in.tellg());
        if (size <= 0 || static_cast<std::size_t>(size) > kMaxFileBytes) return;
        data.resize(static_cast<std::size_t>(size));
        in.seekg(0);
        in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(size));
        if (!in) data.clear();
    }
    bool has(std::uint64_t at, std::uint64_t size) const { return at <= data.size() && size <= data.size() - at; }
    template <typename T>
    T get(std::uint64_t at) const {
        T value{};
        if (has(at, sizeof(T))) std::memcpy(&value, data.data() + static_cast<std::size_t>(at), sizeof(T));
        return value;
    }
    // A NUL-terminated string at `at`, empty when it runs off the end.
    std::string string(std::uint64_t at) const {
        if (!has(at, 1)) return {};
        const unsigned char* start = data.data() + static_cast<std::size_t>(at);
        const void* end = std::memchr(start, 0, data.size() - static_cast<std::size_t>(at));
        if (end == nullptr) return {};
        return std::string(reinterpret_cast<const char*>(start), static_cast<std::size_t>(static_cast<const unsigned char*>(end) - start));
    }
    std::size_t size() const { return data.size(); }

private:
    std::vector<unsigned char> data;
};

std::string elfProcessor(std::uint16_t machine) {
    switch (machine) {
        case kElfMachineX86: return "x86";
        case kElfMachineX8664: return "x86-64";
        case kElfMachineArm: return "ARM";
        case kElfMachineArm64: return "ARM64";
        default: return "processor " + std::to_string(machine);
    }
}

// The dynamic symbol tables of a 32- or 64-bit ELF file, looked through for
// a defined function `main`.
template <typename Offset, typename Symbol>
bool elfExportsMain(const Bytes& file) {
    const auto sectionsAt = file.get<Offset>(Symbol::kSectionTableField);
    const auto sectionSize = file.get<std::uint16_t>(Symbol::kSectionSizeField);
    const auto sectionCount = file.get<std::uint16_t>(Symbol::kSectionCountField);
    for (std::uint32_t s = 0; s < sectionCount; ++s) {
        const std::uint64_t header = sectionsAt + static_cast<std::uint64_t>(s) * sectionSize;
        if (file.get<std::uint32_t>(header + 4) != kElfDynamicSymbols) continue;
        const auto symbolsAt = file.get<Offset>(header + Symbol::kOffsetField);
        const auto symbolsSize = file.get<Offset>(header + Symbol::kSizeField);
        const auto link = file.get<std::uint32_t>(header + Symbol::kLinkField);
        const std::uint64_t stringsHeader = sectionsAt + static_cast<std::uint64_t>(link) * sectionSize;
        const auto stringsAt = file.get<Offset>(stringsHeader + Symbol::kOffsetField);
        for (std::uint64_t at = symbolsAt; at + Symbol::kSize <= symbolsAt + symbolsSize; at += Symbol::kSize) {
            const auto name = file.get<std::uint32_t>(at);
            const auto info = file.get<std::uint8_t>(at + Symbol::kInfoField);
            const auto section = file.get<std::uint16_t>(at + Symbol::kSectionField);
            if (section != 0 && (info & 0xF) == kElfFunction && file.string(stringsAt + name) == "main") return true;
        }
    }
    return false;
}

struct Elf32 {
    static constexpr std::uint64_t kSectionTableField = 32, kSectionSizeField = 46, kSectionCountField = 48;
    static constexpr std::uint64_t kOffsetField = 16, kSizeField = 20, kLinkField = 24;
    static constexpr std::uint64_t kSize = 16, kInfoField = 12, kSectionField = 14;
};
struct Elf64 {
    static constexpr std::uint64_t kSectionTableField = 40, kSectionSizeField = 58, kSectionCountField = 60;
    static constexpr std::uint64_t kOffsetField = 24, kSizeField = 32, kLinkField = 40;
    static constexpr std::uint64_t kSize = 24, kInfoField = 4, kSectionField = 6;
};

// A PE file's export directory, looked through for `main`.
bool peExportsMain(const Bytes& file, std::uint64_t optionalHeader, bool wide, std::uint16_t sectionCount,
                   std::uint64_t sectionsAt) {
    const std::uint64_t directories = optionalHeader + (wide ? 112 : 96);
    const auto exportRva = file.get<std::uint32_t>(directories);
    if (exportRva == 0) return false;
    auto offsetOf = [&](std::uint32_t rva) -> std::uint64_t {
        for (std::uint16_t s = 0; s < sectionCount; ++s) {
            const std::uint64_t section = sectionsAt + static_cast<std::uint64_t>(s) * 40;
            const auto virtualAddress = file.get<std::uint32_t>(section + 12);
            const auto rawSize = file.get<std::uint32_t>(section + 16);
            const auto rawAt = file.get<std::uint32_t>(section + 20);
            if (rva >= virtualAddress && rva < virtualAddress + rawSize) return rawAt + (rva - virtualAddress);
        }
        return file.size();  // nowhere: reads there give nothing
    };
    const std::uint64_t directory = offsetOf(exportRva);
    const auto names = file.get<std::uint32_t>(directory + 24);
    const std::uint64_t nameTable = offsetOf(file.get<std::uint32_t>(directory + 32));
    for (std::uint32_t i = 0; i < names && i < 100000; ++i) {
        if (file.string(offsetOf(file.get<std::uint32_t>(nameTable + 4ull * i))) == "main") return true;
    }
    return false;
}

}  // namespace

LibraryFile inspectLibraryFile(const std::string& path) {
    LibraryFile library;
    const Bytes file(path);
    if (file.has(0, 20) && file.get<std::uint32_t>(0) == 0x464C457Fu) {  // "\x7FELF"
        const auto elfClass = file.get<std::uint8_t>(4);
        if ((elfClass != 1 && elfClass != 2) || file.get<std::uint8_t>(5) != 1) return library;  // little-endian only
        library.kind = LibraryFile::Kind::elf;
        library.bits = elfClass == 1 ? 32 : 64;
        library.processor = elfProcessor(file.get<std::uint16_t>(18));
        library.exportsMain = elfClass == 1 ? elfExportsMain<std::uint32_t, Elf32>(file)
                                            : elfExportsMain<std::uint64_t, Elf64>(file);
        return library;
    }
    if (file.has(0, 64) && file.get<std::uint16_t>(0) == 0x5A4D) {  // "MZ"
        const std::uint64_t pe = file.get<std::uint32_t>(60);
        if (file.get<std::uint32_t>(pe) != 0x00004550u) return library;  // "PE\0\0"
        const auto machine = file.get<std::uint16_t>(pe + 4);
        const auto sectionCount = file.get<std::uint16_t>(pe + 6);
        const auto optionalSize = file.get<std::uint16_t>(pe + 20);
        const std::uint64_t optionalHeader = pe + 24;
        const bool wide = file.get<std::uint16_t>(optionalHeader) == 0x20B;  // PE32+
        library.kind = LibraryFile::Kind::pe;
        library.bits = wide ? 64 : 32;
        library.processor = machine == kPeMachineX86     ? "x86"
                            : machine == kPeMachineX8664 ? "x86-64"
                            : machine == kPeMachineArm64 ? "ARM64"
                                                         : "processor " + std::to_string(machine);
        library.exportsMain = peExportsMain(file, optionalHeader, wide, sectionCount, optionalHeader + optionalSize);
    }
    return library;
}

bool LibraryFile::loadableHere() const { return mismatch().empty(); }

std::string LibraryFile::mismatch() const {
#if defined(_WIN32)
    const Kind ours = Kind::pe;
    const char* tool = "fxvalidate.exe";
#else
    const Kind ours = Kind::elf;
    const char* tool = "build of the validator";
#endif
#if defined(__x86_64__) || defined(_M_X64)
    const std::string processorHere = "x86-64";
#elif defined(__i386__) || defined(_M_IX86)
    const std::string processorHere = "x86";
#elif defined(__aarch64__)
    const std::string processorHere = "ARM64";
#else
    const std::string processorHere = processor;
#endif
    const int bitsHere = static_cast<int>(sizeof(void*) * 8);
    if (kind == Kind::other) return "not a library";
    if (kind != ours) return kind == Kind::pe ? "a Windows library: validate it with fxvalidate.exe on Windows"
                                             : "a Linux library: validate it with fxrender validate on Linux";
    if (bits != bitsHere) {
        return "a " + std::to_string(bits) + "-bit library: use the " + std::to_string(bits) + "-bit " + tool;
    }
    if (processor != processorHere) return "a library for " + processor + ": use a " + processor + " " + tool;
    return {};
}
