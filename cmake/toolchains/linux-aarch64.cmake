# ARM64 Linux from an amd64 Debian machine: Debian's aarch64 cross compiler,
# the libraries of the command-line host and of the tests from Debian's arm64
# multiarch packages, and the programs run under qemu-aarch64 (user mode),
# which finds the arm64 loader and libraries where multiarch puts them.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# pkg-config looks at the arm64 packages' descriptions only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
# qemu-aarch64 from qemu-user, or the static one that qemu-user-static
# registers with the kernel.
find_program(TF_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TF_QEMU_AARCH64})
