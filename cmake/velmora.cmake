# Helpers shared by every folder: one static library per folder, tests beside the code.

set(VELMORA_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wconversion -Wno-sign-conversion)

if(VELMORA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(VELMORA_FUZZ)
  # The fuzz build uses another compiler whose warnings differ; warnings stay on but do not stop it.
  set(CMAKE_COMPILE_WARNING_AS_ERROR OFF)
  # Coverage instrumentation for everything the fuzz targets link; the targets add -fsanitize=fuzzer themselves.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# velmora_library(NAME SOURCES ... DEPS ...)
function(velmora_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${VELMORA_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
endfunction()

# velmora_test(NAME SOURCES ... DEPS ...): a GoogleTest binary whose cases ctest lists one by one. Nothing
# without BUILD_TESTING.
function(velmora_test name)
  if(NOT BUILD_TESTING)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${VELMORA_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "VELMORA_SHARED=${VELMORA_SHARED}")
endfunction()

# Where the shared reference material lives (public mail corpus, sample exports, Outlook-made files).
# Tests that need it skip when it is absent.
if(NOT DEFINED VELMORA_SHARED)
  get_filename_component(VELMORA_SHARED "${PROJECT_SOURCE_DIR}/../shared" ABSOLUTE)
endif()

# velmora_widget_test_platform(NAME): the widget tests run on Qt's offscreen platform. A static Qt (the Windows
# build) links only the default platform plugin into a program; without this one the test's QApplication finds
# no platform and Qt's fatal message waits in a message box that nobody answers.
function(velmora_widget_test_platform name)
  if(TARGET ${name} AND TARGET Qt6::QOffscreenIntegrationPlugin)
    get_target_property(qt_type Qt6::Core TYPE)
    if(qt_type STREQUAL "STATIC_LIBRARY")
      qt_import_plugins(${name} INCLUDE Qt6::QOffscreenIntegrationPlugin)
    endif()
  endif()
endfunction()
