// What a file is, read from its headers without loading it: an ELF or PE
// library, for which pointer width and processor, and whether it exports
// `main`, the entry of this interface version. Loading a library runs its
// code; the validator looks first.
#pragma once

#include <string>

struct LibraryFile {
    enum class Kind { other, elf, pe };

    Kind kind = Kind::other;
    int bits = 0;              // 32 or 64
    std::string processor;     // "x86-64", "x86", "ARM64", ...
    bool exportsMain = false;  // a defined function named `main` among its exports

    // True for a library this process can load: same format, width and processor.
    bool loadableHere() const;
    // Why it cannot be loaded here, naming what would load it; empty when it can.
    std::string mismatch() const;
};

LibraryFile inspectLibraryFile(const std::string& path);
