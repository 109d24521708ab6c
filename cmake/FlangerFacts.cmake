# tf_read_flanger_facts(): sets TF_LV2_DEFAULT_<NAME> (TEMPO, RESOLUTION,
# SEND, DEPTH, MODAMOUNT, WAVEFORM, FEEDBACK, BOOST) to the numbers that
# flanger/flanger_facts.h gives its kLv2Default<Name> constants, so that
# the LV2 bundle's descriptions and the code cannot say different things.
function(tf_read_flanger_facts)
  set(header ${PROJECT_SOURCE_DIR}/flanger/flanger_facts.h)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
  file(STRINGS ${header} lines REGEX "kLv2Default[A-Za-z]+ = ")
  foreach(line IN LISTS lines)
    if(line MATCHES "kLv2Default([A-Za-z]+) = ([-0-9.]+);")
      string(TOUPPER ${CMAKE_MATCH_1} name)
      set(TF_LV2_DEFAULT_${name} ${CMAKE_MATCH_2} PARENT_SCOPE)
      list(APPEND found ${name})
    endif()
  endforeach()
  foreach(name TEMPO RESOLUTION SEND DEPTH MODAMOUNT WAVEFORM FEEDBACK BOOST)
    if(NOT name IN_LIST found)
      message(FATAL_ERROR "flanger/flanger_facts.h gives no kLv2Default constant for ${name}")
    endif()
  endforeach()
endfunction()
