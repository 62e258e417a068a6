# Helpers shared by every folder's CMakeLists.txt.

# envmon_add_test(<name> SOURCES <src>... [LIBS <lib>...] [LABELS unit|integration|e2e])
# A GoogleTest executable registered with CTest, one CTest entry per test case.
function(envmon_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300)
endfunction()

# envmon_add_fuzzer(<name> SOURCES <src>... [LIBS <lib>...] [CORPUS <dir>])
# With ENVMON_FUZZ (clang) this is a libFuzzer binary. Otherwise the same
# LLVMFuzzerTestOneInput is linked with a small replay driver and run over its
# seed corpus as a unit test, so every fuzz target keeps building and running.
function(envmon_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  if(ENVMON_FUZZ)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/fuzz_replay_main.cpp)
    set(corpus ${F_CORPUS})
    if(NOT corpus)
      set(corpus ${CMAKE_CURRENT_SOURCE_DIR})
    endif()
    add_test(NAME ${name}.replay COMMAND ${name} ${corpus})
    set_tests_properties(${name}.replay PROPERTIES LABELS unit TIMEOUT 300)
  endif()
endfunction()

# envmon_add_bench(<name> SOURCES <src>... [LIBS <lib>...])
function(envmon_add_bench name)
  if(NOT ENVMON_BENCH)
    return()
  endif()
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
endfunction()
