# The packages CPack makes from the install rules (scripts/package.sh):
# a Debian package on Linux, tempo-flanger_VERSION_ARCH.deb, with its
# library dependencies worked out by dpkg-shlibdeps; on Windows a zip per
# pointer width, tempo-flanger-VERSION-win32.zip or -win64.zip.

set(CPACK_PACKAGE_NAME tempo-flanger)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tempo Flanger developers")
set(CPACK_PACKAGE_CONTACT "${TF_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tempo-synchronised stereo flanger plug-in (LV2 and the 1.0 interface)")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME tempo-flanger-${PROJECT_VERSION}-win${TF_WINDOWS_WIDTH})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The architecture of the build, not of the machine that packs it.
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^i.86$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)
  else()
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  endif()
  # The summary becomes the first line.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A stereo flanger whose sweep lasts a number of beats at a tempo, from one
beat to 96, with sine, triangle and sawtooth sweeps, feedback and output
gain. It comes as an LV2 plug-in, which LV2 hosts find by themselves, and
as a plug-in library of the 1.0 binary interface in
/usr/lib/tempo-flanger, a folder to add to a host's plug-in search path.
.
The package also holds fxrender, a command-line host that renders audio
files through the plug-in (or another of the same interface) as a host
application does, and fxvalidate, which checks that plug-in libraries of
that interface are safe to load.")
endif()

include(CPack)
