# Helpers shared by every subsystem's CMakeLists.txt.

# The standard headers nearly every source includes, compiled once per target: a third of
# the time a build takes went into reading them again for each source.
set(NXS_PCH_HEADERS <algorithm> <cstdint> <cstring> <functional> <map> <memory> <mutex> <optional> <string>
    <string_view> <unordered_map> <vector>)

# nxs_library(NAME SOURCES... [LINKS libs...])
function(nxs_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  target_compile_definitions(${name} PRIVATE NXS_SOURCE_DATA_DIR="${NXS_SOURCE_DATA_DIR}")
  set_property(GLOBAL APPEND PROPERTY NXS_LIBRARIES ${name})
  # Nothing of a library compiles before the layering check has passed.
  add_dependencies(${name} nxs_layering)
  if(NXS_PCH)
    target_precompile_headers(${name} PRIVATE ${NXS_PCH_HEADERS})
  endif()
endfunction()

# nxs_test(NAME SOURCES... LINKS libs...): one gtest binary per test folder; each test
# runs with its own settings directory so that nothing touches the user's settings.
function(nxs_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/ownsettings.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gmock GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    NXS_SOURCE_DATA_DIR="${NXS_SOURCE_DATA_DIR}"
    NXS_EXAMPLES_DIR="${PROJECT_SOURCE_DIR}/examples"
    NXS_TEST_TMP="${CMAKE_BINARY_DIR}/testtmp")
  if(NXS_TEST_OPTIMIZE)
    target_compile_options(${name} PRIVATE ${NXS_TEST_OPTIMIZE})
  endif()
  if(NXS_PCH)
    target_precompile_headers(${name} PRIVATE ${NXS_PCH_HEADERS} <filesystem> <gtest/gtest.h>)
  endif()
  # A unity build compiles a test folder's sources a few at a time as one, reading the headers
  # they share once: about half the time the tests take to make. Names at file scope, even in
  # anonymous namespaces, must then differ between a folder's sources; GCC takes a fixture in an
  # anonymous namespace of an included source for one of a header, which it is not.
  if(NXS_UNITY_TESTS)
    set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE ${NXS_UNITY_TESTS})
    target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-subobject-linkage>)
  endif()
  # Tests that run nxs as a user would (tests/support/run.h) find the one this build made.
  if(TARGET nxs)
    target_compile_definitions(${name} PRIVATE NXS_BINARY="$<TARGET_FILE:nxs>")
    add_dependencies(${name} nxs)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "NXS_SETTINGS_DIR=${CMAKE_BINARY_DIR}/testtmp/settings-${name}"
    DISCOVERY_TIMEOUT 60)
endfunction()

# nxs_glob_library(NAME GLOBS patterns... LINKS libs...): a library of every source its
# folder holds; nothing is made while the folder holds none. Links to libraries that are not
# built yet are left out.
function(nxs_glob_library name)
  cmake_parse_arguments(ARG "" "" "GLOBS;LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${ARG_GLOBS})
  if(NOT sources)
    return()
  endif()
  set(links)
  foreach(lib IN LISTS ARG_LINKS)
    if(TARGET ${lib} OR lib MATCHES "::")
      list(APPEND links ${lib})
    endif()
  endforeach()
  nxs_library(${name} SOURCES ${sources} LINKS ${links})
endfunction()

# nxs_glob_test(NAME LINKS libs...): one test binary of every *_test.cpp in the folder,
# made once the libraries it needs are built.
function(nxs_glob_test name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*/*_test.cpp)
  if(NOT sources)
    return()
  endif()
  foreach(lib IN LISTS ARG_LINKS)
    if(NOT TARGET ${lib})
      return()
    endif()
  endforeach()
  file(GLOB support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*/*.cpp)
  list(REMOVE_ITEM support ${sources})
  nxs_test(${name} SOURCES ${sources} ${support} LINKS ${ARG_LINKS})
endfunction()

# nxs_package(NAME SOURCES... [INFO words...] [OUTPUT_DIRECTORY dir]): a package, a shared
# library that nxs loads, with its information section. INFO is given to
# "nxs packages source" (--description TEXT, --requires NAME, --contains UNIT[:FLAGS], ...).
# The library and its folder are left writable by their owner alone: the loader refuses a
# package that others may change, whatever the umask of the build.
function(nxs_package name)
  cmake_parse_arguments(ARG "" "OUTPUT_DIRECTORY" "SOURCES;INFO" ${ARGN})
  set(info ${CMAKE_CURRENT_BINARY_DIR}/${name}_info.cpp)
  add_custom_command(OUTPUT ${info}
    COMMAND nxs --no-packages packages source ${info} ${ARG_INFO}
    DEPENDS nxs
    COMMENT "Writing the information section of package ${name}"
    VERBATIM)
  add_library(${name} MODULE ${ARG_SOURCES} ${info})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  set_target_properties(${name} PROPERTIES PREFIX "")
  if(ARG_OUTPUT_DIRECTORY)
    set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY})
  endif()
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND chmod go-w $<TARGET_FILE:${name}> $<TARGET_FILE_DIR:${name}> VERBATIM)
endfunction()
