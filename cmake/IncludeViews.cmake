# tf_include_folders(target SCOPE folder...): the target (and, with PUBLIC,
# whatever links it) sees only these folders of the source tree, by their
# names ("interface/effect_record.h"): a view in the build tree holds a link
# to each. So an include that points the wrong way, the host side reaching
# into the plug-in's code, fails to build.
function(tf_include_folders target scope)
  set(view ${PROJECT_BINARY_DIR}/include-views/${target})
  file(MAKE_DIRECTORY ${view})
  foreach(folder IN LISTS ARGN)
    if(NOT EXISTS ${view}/${folder})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${view}/${folder} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} ${scope} ${view})
endfunction()
