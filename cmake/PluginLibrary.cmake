# tf_add_plugin(name sources...): a plug-in library whose only export is
# `main`, from the bridge in host/plugin_main.cpp and the given sources, which
# must define createEffect().
function(tf_add_plugin name)
  add_library(${name} SHARED ${PROJECT_SOURCE_DIR}/host/plugin_main.cpp ${ARGN})
  target_link_libraries(${name} PRIVATE effect_host)
  tf_effect_settings(${name})
  set_target_properties(${name} PROPERTIES PREFIX "")
  if(WIN32)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/host/plugin.def)
  else()
    target_link_options(${name} PRIVATE
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/host/plugin.map -Wl,--no-undefined -Wl,-z,defs)
    if(TF_SANITIZE OR TF_FUZZ)
      # The sanitizer runtimes come from the host program that loads the library.
      target_link_options(${name} PRIVATE -Wl,--unresolved-symbols=ignore-all)
    endif()
  endif()
endfunction()
