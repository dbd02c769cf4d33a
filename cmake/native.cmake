# Native tree: the pure logic with its unit tests under ASan and UBSan, and the device simulator.
set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_library(quorbane_pure STATIC ${QUORBANE_PURE_SOURCES})
target_include_directories(quorbane_pure PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(quorbane_pure PRIVATE -Wall -Wextra ${SANITIZE_FLAGS})
target_link_options(quorbane_pure PUBLIC ${SANITIZE_FLAGS})

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

add_subdirectory(tests/native)
add_subdirectory(sim)
if(EXISTS ${PROJECT_SOURCE_DIR}/tests/sim/CMakeLists.txt)
  add_subdirectory(tests/sim)
endif()

# The fuzzer, where clang and its libFuzzer runtime are there: `make test` runs it for a while.
find_program(CLANGXX clang++)
if(CLANGXX AND EXISTS ${PROJECT_SOURCE_DIR}/tests/fuzz/link_fuzz.cpp)
  set(FUZZ_SOURCES ${PROJECT_SOURCE_DIR}/tests/fuzz/link_fuzz.cpp ${QUORBANE_PURE_SOURCES})
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/link_fuzz
    COMMAND ${CLANGXX} -std=c++17 -g -O1 -Wall -Wextra -fsanitize=fuzzer,address,undefined
            -fno-sanitize-recover=all -I${PROJECT_SOURCE_DIR} ${FUZZ_SOURCES} -o ${CMAKE_BINARY_DIR}/link_fuzz
    DEPENDS ${FUZZ_SOURCES}
    COMMENT "Building the fuzzer")
  add_custom_target(fuzzers ALL DEPENDS ${CMAKE_BINARY_DIR}/link_fuzz)
endif()

include(${PROJECT_SOURCE_DIR}/cmake/clang_windows_check.cmake)
