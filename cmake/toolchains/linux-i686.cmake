# Native 32-bit x86 Linux build on an amd64 machine (gcc -m32), for the
# 144-byte form of the effect record. GoogleTest comes from Debian's i386
# package.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The kernel's x86-64 headers serve 32-bit x86 too, under <asm/...>. Debian's
# gcc-multilib would link them there system-wide, but it cannot be installed
# beside the ARM64 cross compiler (g++-12-multilib can): the build links them
# in a folder of its own.
set(tf_asm_headers ${CMAKE_BINARY_DIR}/multilib-include)
if(NOT EXISTS ${tf_asm_headers}/asm)
  file(MAKE_DIRECTORY ${tf_asm_headers})
  file(CREATE_LINK /usr/include/x86_64-linux-gnu/asm ${tf_asm_headers}/asm SYMBOLIC)
endif()
set(CMAKE_C_FLAGS_INIT "-m32 -isystem ${tf_asm_headers}")
set(CMAKE_CXX_FLAGS_INIT "-m32 -isystem ${tf_asm_headers}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# pkg-config looks at the i386 packages' descriptions only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
# On a kernel that starts no 32-bit x86 programs (scripts/build.sh probes
# it), the tests run under user-mode qemu, as the ARM64 build's do.
if(TF_I386_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TF_I386_EMULATOR})
endif()
