# Helpers that keep the module CMake files regular.

set(TARNVALE_SRC ${PROJECT_SOURCE_DIR}/modules/tarnvale/src)
set(TARNVALE_TESTS_DIR ${PROJECT_SOURCE_DIR}/modules/tarnvale/tests)

# tarnvale_module(<name> [DEPS <targets>...]): library tarnvale_<name> from src/<name>/*.cpp,
# except src/main/main.cpp, which belongs to the executable alone.
function(tarnvale_module name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${TARNVALE_SRC}/${name}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main/main\\.cpp$")
  if(sources)
    add_library(tarnvale_${name} STATIC ${sources})
    target_include_directories(tarnvale_${name} PUBLIC ${TARNVALE_SRC})
    target_link_libraries(tarnvale_${name} PUBLIC ${ARG_DEPS})
  else()
    # Header-only so far.
    add_library(tarnvale_${name} INTERFACE)
    target_include_directories(tarnvale_${name} INTERFACE ${TARNVALE_SRC})
    target_link_libraries(tarnvale_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# tarnvale_tests(<module> [DEPS <targets>...]): one test executable from tests/<module>/*_test.cpp.
function(tarnvale_tests module)
  if(NOT TARNVALE_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${TARNVALE_TESTS_DIR}/${module}/*_test.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(tarnvale_${module}_tests ${sources})
  target_include_directories(tarnvale_${module}_tests PRIVATE ${TARNVALE_TESTS_DIR})
  target_link_libraries(tarnvale_${module}_tests PRIVATE tarnvale_${module} ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(tarnvale_${module}_tests PRIVATE
    TARNVALE_TEST_DATA="${TARNVALE_TESTS_DIR}/${module}/data"
    TARNVALE_BINARY_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(tarnvale_${module}_tests DISCOVERY_TIMEOUT 60)
endfunction()

# tarnvale_benchmarks(<module> [DEPS <targets>...]): one benchmark executable from tests/<module>/*_benchmark.cpp.
function(tarnvale_benchmarks module)
  if(NOT TARNVALE_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${TARNVALE_TESTS_DIR}/${module}/*_benchmark.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(tarnvale_${module}_benchmark ${sources})
  target_include_directories(tarnvale_${module}_benchmark PRIVATE ${TARNVALE_TESTS_DIR})
  target_link_libraries(tarnvale_${module}_benchmark PRIVATE tarnvale_${module} ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
endfunction()

# tarnvale_fuzzer(<name> DEPS <targets>... [CORPORA <folders>...]): fuzz/<name>_fuzzer.cpp defines
# LLVMFuzzerTestOneInput. With TARNVALE_FUZZERS (a clang build) it becomes a libFuzzer binary; in
# every other build a replay binary that runs each file of the CORPORA (folders under fuzz/,
# corpus/<name> unless given) through the target, as a test.
function(tarnvale_fuzzer name)
  cmake_parse_arguments(ARG "" "" "DEPS;CORPORA" ${ARGN})
  set(fuzz_dir ${PROJECT_SOURCE_DIR}/modules/tarnvale/fuzz)
  if(NOT ARG_CORPORA)
    set(ARG_CORPORA corpus/${name})
  endif()
  list(TRANSFORM ARG_CORPORA PREPEND ${fuzz_dir}/)
  if(TARNVALE_FUZZERS)
    add_executable(${name}_fuzzer ${fuzz_dir}/${name}_fuzzer.cpp)
    target_link_libraries(${name}_fuzzer PRIVATE ${ARG_DEPS})
    target_compile_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
  elseif(TARNVALE_TESTS)
    add_executable(${name}_replay ${fuzz_dir}/${name}_fuzzer.cpp ${fuzz_dir}/replay_main.cpp)
    target_link_libraries(${name}_replay PRIVATE ${ARG_DEPS})
    add_test(NAME ${name}_corpus_replay COMMAND ${name}_replay ${ARG_CORPORA})
  endif()
endfunction()
