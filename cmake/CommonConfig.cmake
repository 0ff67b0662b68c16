# Flags every target of the project shares.
add_library(larkspur_flags INTERFACE)
target_compile_features(larkspur_flags INTERFACE cxx_std_20)
target_compile_options(larkspur_flags INTERFACE -Wall -Wextra -Wshadow)
# Our text is bytes in the system encoding: no silent char* -> QString conversions.
target_compile_definitions(larkspur_flags INTERFACE QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII)
if(LARKSPUR_WERROR)
  target_compile_options(larkspur_flags INTERFACE -Werror)
endif()
if(LARKSPUR_SANITIZE)
  target_compile_options(larkspur_flags INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(larkspur_flags INTERFACE -fsanitize=address,undefined)
endif()

if(LARKSPUR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "LARKSPUR_FUZZ needs clang (libFuzzer)")
  endif()
  # Project code gets the fuzzer's coverage hooks; only the fuzz targets link its main.
  target_compile_options(larkspur_flags INTERFACE
    -fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(larkspur_flags INTERFACE -fsanitize=address,undefined)
endif()

# A core library made of every .cpp in the calling folder.
function(larkspur_core_library name)
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER _src EXCLUDE REGEX "/(main|WindowMain)\\.cpp$")
  if(_src)
    add_library(${name} STATIC ${_src})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC larkspur_flags ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE larkspur_flags ${ARGN})
  endif()
endfunction()
