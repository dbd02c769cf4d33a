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
