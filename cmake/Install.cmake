# What `cmake --install` lays out, and the manual pages it needs.
#
# Linux, under the prefix:
#   bin/fxrender, bin/fxvalidate
#   lib/tempo-flanger/tempo_flanger.so           the plug-in, in a folder of its own
#   lib/lv2/tempo-flanger.lv2/                   the LV2 bundle
#   share/man/man1/fxrender.1, fxvalidate.1
#   share/doc/tempo-flanger/README.md (and its picture in docs/), LICENSE
# fxrender finds the plug-in through ../lib/tempo-flanger/ from its own
# folder, so these two places move together.
#
# Windows, in one folder: tempo_flanger.dll, fxvalidate.exe, README.txt,
# LICENSE.txt.
#
# TF_DEBIAN_PACKAGE lays out a Debian package's files instead of the plain
# ones: manual pages compressed, and in the documentation folder the
# machine-readable copyright and the changelog in place of LICENSE.

option(TF_DEBIAN_PACKAGE "Install as a Debian package carries its files" OFF)
set(TF_MAINTAINER "Tempo Flanger developers <tempo-flanger@example.org>"
  CACHE STRING "The packages' maintainer")
set(CMAKE_INSTALL_DOCDIR share/doc/tempo-flanger CACHE PATH "Documentation folder")
include(GNUInstallDirs)

set(TF_INSTALL_PLUGIN_DIR lib/tempo-flanger)
set(TF_INSTALL_LV2_DIR lib/lv2)
# Libraries that are loaded, never run: not executable.
set(tf_library_permissions OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TF_WINDOWS_WIDTH 64)
  else()
    set(TF_WINDOWS_WIDTH 32)
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows-readme.txt ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt NEWLINE_STYLE CRLF)
  install(TARGETS tempo_flanger fxvalidate RUNTIME DESTINATION .)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION .)
  return()
endif()

install(TARGETS tempo_flanger LIBRARY DESTINATION ${TF_INSTALL_PLUGIN_DIR} PERMISSIONS ${tf_library_permissions})
if(TARGET tempo_flanger_lv2)
  install(TARGETS tempo_flanger_lv2 LIBRARY DESTINATION ${TF_INSTALL_LV2_DIR}/tempo-flanger.lv2
    PERMISSIONS ${tf_library_permissions})
  install(FILES ${TF_LV2_BUNDLE}/manifest.ttl ${TF_LV2_BUNDLE}/tempo_flanger.ttl
    DESTINATION ${TF_INSTALL_LV2_DIR}/tempo-flanger.lv2)
endif()

# The manual pages, from the tools' own --help (run through the emulator in
# a cross build). Their texts hold no semicolons, which would split them.
set(tf_man_folder ${PROJECT_BINARY_DIR}/man)
set(tf_man_pages "")
function(tf_man_page tool)
  cmake_parse_arguments(M "" "SUMMARY;DESCRIPTION;FILES_TEXT" "COMMANDS;SEE_ALSO" ${ARGN})
  set(page ${tf_man_folder}/${tool}.1)
  if(TF_DEBIAN_PACKAGE)
    set(output ${page}.gz)
  else()
    set(output ${page})
  endif()
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${tf_man_folder}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${tool}> "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
      -DNAME=${tool} "-DCOMMANDS=${M_COMMANDS}" "-DSUMMARY=${M_SUMMARY}" "-DDESCRIPTION=${M_DESCRIPTION}"
      -DVERSION=${PROJECT_VERSION} "-DSEE_ALSO=${M_SEE_ALSO}" "-DFILES_TEXT=${M_FILES_TEXT}"
      -DOUTPUT=${page} -DCOMPRESS=${TF_DEBIAN_PACKAGE} -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS ${tool} ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    VERBATIM)
  install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set(tf_man_pages ${tf_man_pages} ${output} PARENT_SCOPE)
endfunction()

install(TARGETS fxvalidate RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
tf_man_page(fxvalidate
  SUMMARY "checks plug-in libraries of the 1.0 interface"
  DESCRIPTION "fxvalidate loads each plug-in library it is given (or finds in a folder) in a process of its own, calls it as hosts do and as careless hosts do, and reports PASS, NOTE, WARN or FAIL for each check with the reason. The exit status is 0 when every library passes. It is the validate command of fxrender, for machines without the audio file libraries."
  SEE_ALSO fxrender)
if(TARGET fxrender)
  install(TARGETS fxrender RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  tf_man_page(fxrender
    SUMMARY "renders audio through a plug-in library, as a host application does"
    DESCRIPTION "fxrender is a command-line host: it loads a plug-in library of the 1.0 interface through its exported main function, as a host application does, and renders audio files through it, by default through the Tempo Flanger plug-in installed with it."
    COMMANDS demo render info validate
    FILES_TEXT "The plug-in library it uses unless --plugin names another: tempo_flanger.so in fxrender's own folder, else in ../lib/tempo-flanger/ from that folder (/usr/lib/tempo-flanger/ for /usr/bin/fxrender)."
    SEE_ALSO fxvalidate lv2file)
endif()
add_custom_target(man_pages ALL DEPENDS ${tf_man_pages})

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The README's picture, where its link points.
install(FILES ${PROJECT_SOURCE_DIR}/docs/sync-against-bars.png DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
  PERMISSIONS ${tf_library_permissions})
if(TF_DEBIAN_PACKAGE)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/packaging/changelog
    DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog VERBATIM)
  add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
else()
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
