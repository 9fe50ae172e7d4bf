# Our own code builds with warnings as errors; third-party headers come in as system headers.
function(quillport_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wold-style-cast -Wcast-align -Wformat=2 -Werror)
  # GCC 12's optimiser reports "a literal + std::string" as an overlapping memcpy (GCC bug 105651,
  # mended in 13): only a false -Wrestrict in optimised builds, so that one warning is left out there.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

# One static library per layer; headers are included as "layer/file.h" from the source root.
function(quillport_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  quillport_warnings(${name})
endfunction()

# A GoogleTest suite registered with CTest, one test per case.
function(quillport_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  quillport_warnings(${name})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 ${ARG_PROPERTIES})
endfunction()

# A Google Benchmark target: built with the rest, run by hand (never by CTest).
function(quillport_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
  quillport_warnings(${name})
endfunction()
