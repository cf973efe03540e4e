# Helpers that keep the module CMake files regular.

set(TARNVALE_SRC ${PROJECT_SOURCE_DIR}/modules/tarnvale/src)
set(TARNVALE_TESTS_DIR ${PROJECT_SOURCE_DIR}/modules/tarnvale/tests)

# Include trees made in the build folder: one per module with links to its face headers, for
# the modules that use it, and one with its internal headers too, for its own sources.
set(TARNVALE_INCLUDE_TREES ${PROJECT_BINARY_DIR}/include)

# tarnvale_module(<path> [DEPS <modules or targets>...]): library tarnvale_<name> (the path with
# "_" for "/") from src/<path>/*.cpp and src/<path>/detail/*.cpp; src/main/main.cpp belongs to
# the executable alone. DEPS names the modules (by path) and other targets that the module's
# code includes.
#
# A module's face is the headers directly in src/<path>/; the headers under src/<path>/detail/
# are its own. Other modules see only the face, and only of the modules they name, so an
# include of anything else fails to build.
function(tarnvale_module path)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  string(REPLACE "/" "_" name ${path})
  set(target tarnvale_${name})
  file(GLOB face_headers CONFIGURE_DEPENDS ${TARNVALE_SRC}/${path}/*.hpp)
  file(GLOB detail_headers CONFIGURE_DEPENDS ${TARNVALE_SRC}/${path}/detail/*.hpp)
  file(GLOB sources CONFIGURE_DEPENDS ${TARNVALE_SRC}/${path}/*.cpp ${TARNVALE_SRC}/${path}/detail/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main/main\\.cpp$")

  set(face_tree ${TARNVALE_INCLUDE_TREES}/face/${name})
  set(own_tree ${TARNVALE_INCLUDE_TREES}/own/${name})
  file(REMOVE_RECURSE ${face_tree} ${own_tree})
  foreach(header IN LISTS face_headers detail_headers)
    file(RELATIVE_PATH relative ${TARNVALE_SRC} ${header})
    get_filename_component(folder ${relative} DIRECTORY)
    file(MAKE_DIRECTORY ${own_tree}/${folder})
    file(CREATE_LINK ${header} ${own_tree}/${relative} SYMBOLIC)
    if(header IN_LIST face_headers)
      file(MAKE_DIRECTORY ${face_tree}/${folder})
      file(CREATE_LINK ${header} ${face_tree}/${relative} SYMBOLIC)
    endif()
  endforeach()

  set(deps)
  foreach(dep IN LISTS ARG_DEPS)
    if(dep MATCHES "::|^tarnvale_")
      list(APPEND deps ${dep})
    else()
      string(REPLACE "/" "_" dep_name ${dep})
      list(APPEND deps tarnvale_${dep_name})
    endif()
  endforeach()

  if(sources)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PRIVATE ${own_tree} INTERFACE ${face_tree})
    target_link_libraries(${target} PUBLIC ${deps})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${face_tree})
    target_link_libraries(${target} INTERFACE ${deps})
  endif()
  set_property(GLOBAL APPEND PROPERTY TARNVALE_MODULES ${path})
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
  # Tests are white-box: they see every header of the tree.
  target_include_directories(tarnvale_${module}_tests PRIVATE ${TARNVALE_SRC} ${TARNVALE_TESTS_DIR})
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
  target_include_directories(tarnvale_${module}_benchmark PRIVATE ${TARNVALE_SRC} ${TARNVALE_TESTS_DIR})
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
    target_include_directories(${name}_fuzzer PRIVATE ${TARNVALE_SRC})
    target_link_libraries(${name}_fuzzer PRIVATE ${ARG_DEPS})
    target_compile_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
  elseif(TARNVALE_TESTS)
    add_executable(${name}_replay ${fuzz_dir}/${name}_fuzzer.cpp ${fuzz_dir}/replay_main.cpp)
    target_include_directories(${name}_replay PRIVATE ${TARNVALE_SRC})
    target_link_libraries(${name}_replay PRIVATE ${ARG_DEPS})
    add_test(NAME ${name}_corpus_replay COMMAND ${name}_replay ${ARG_CORPORA})
  endif()
endfunction()
