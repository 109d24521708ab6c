# Warnings, exact floating point, and the sanitizer configuration.

# Arithmetic is specified as double evaluation rounded to float where stored:
# no contraction into fused multiply-adds, never fast-math, and on 32-bit x86
# SSE instead of the x87 unit (which evaluates in extended precision).
add_compile_options(-ffp-contract=off -fno-fast-math)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" OR CMAKE_SIZEOF_VOID_P EQUAL 4)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "86")
    add_compile_options(-msse2 -mfpmath=sse -mstackrealign)
  endif()
endif()

# GCC on ARM64 notes that passing some structures by value changed in GCC
# 10.1; everything here is built by one compiler, so the note means nothing.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-Wno-psabi)
endif()

if(TF_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(TF_FUZZ)
  # Coverage for libFuzzer in every library; the fuzzer target links it.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(TF_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

function(tf_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wconversion)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports string concatenation in <string> as overlapping copies
    # (a known false positive at -O2 and above).
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(TF_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# The effect's own code: warnings, and hidden symbols so that nothing but the
# exported entry point leaves a plug-in library.
function(tf_effect_settings target)
  tf_warnings(${target})
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(NOT WIN32)
    target_compile_options(${target} PRIVATE -fno-semantic-interposition)
  endif()
endfunction()
