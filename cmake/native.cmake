# Native tree: the pure logic with its unit tests under ASan and UBSan, and the device simulator.
# With QSYNC_RELEASE, only qsync as it is packaged: optimised, no sanitizers, the C++ runtime
# linked in, and no build path inside (tools/dist-linux strips it); twice from the same objects:
# qsync for the Debian package, on the system's C library, and qsync-static for the archive that
# runs on any distribution.
option(QSYNC_RELEASE "build only the packaged qsync" OFF)
set(QSYNC_POSIX_SOURCES ${QSYNC_SOURCES} ${PROJECT_SOURCE_DIR}/qsync/host_posix.cpp
    ${PROJECT_SOURCE_DIR}/qsync/port_names_posix.cpp ${PROJECT_SOURCE_DIR}/qsync/console_interrupt_posix.cpp)
set(QUORBANE_LINK_POSIX_SOURCES ${QUORBANE_LINK_SOURCES} ${PROJECT_SOURCE_DIR}/link/com_port_posix.cpp
    ${PROJECT_SOURCE_DIR}/link/file_replace_posix.cpp)
if(QSYNC_RELEASE)
  add_compile_options(-Wall -Wextra -fstack-protector-strong -D_FORTIFY_SOURCE=2 -fPIE
                      -ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
  add_link_options(-Wl,-z,relro,-z,now)
  add_library(qsync_objects OBJECT ${QSYNC_POSIX_SOURCES} ${QUORBANE_LINK_POSIX_SOURCES})
  target_include_directories(qsync_objects PRIVATE ${PROJECT_SOURCE_DIR})
  add_dependencies(qsync_objects qsync_commit)
  add_executable(qsync $<TARGET_OBJECTS:qsync_objects>)
  target_link_options(qsync PRIVATE -pie -static-libstdc++ -static-libgcc)
  # No library at all. glibc warns when a static program calls what needs its shared parts at run
  # time (NSS for user and group names, iconv, dlopen): such a program would not run on another
  # distribution, so the warning fails the link. (-static-libstdc++ would bring the C library
  # back in dynamically.)
  add_executable(qsync-static $<TARGET_OBJECTS:qsync_objects>)
  target_link_options(qsync-static PRIVATE -static-pie -Wl,--fatal-warnings)
  return()
endif()

set(SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_library(quorbane_pure STATIC ${QUORBANE_PURE_SOURCES})
target_include_directories(quorbane_pure PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(quorbane_pure PRIVATE -Wall -Wextra ${SANITIZE_FLAGS})
target_link_options(quorbane_pure PUBLIC ${SANITIZE_FLAGS})

add_subdirectory(sim)

# qsync as a Linux program: the link over the POSIX port and qsync's own sources, under the same
# sanitizers as the tests that run it (tools/dist-linux builds the release from the same lists).
add_library(quorbane_link_posix STATIC ${QUORBANE_LINK_POSIX_SOURCES})
target_include_directories(quorbane_link_posix PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_options(quorbane_link_posix PRIVATE -Wall -Wextra ${SANITIZE_FLAGS})
target_link_options(quorbane_link_posix PUBLIC ${SANITIZE_FLAGS})
add_executable(qsync ${QSYNC_POSIX_SOURCES})
add_dependencies(qsync qsync_commit)
target_compile_options(qsync PRIVATE -Wall -Wextra ${SANITIZE_FLAGS})
target_link_libraries(qsync PRIVATE quorbane_link_posix)

# The tests, where GoogleTest is there: make run needs none of them (nor clang, below).
if(NOT QUORBANE_TESTS)
  return()
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

add_subdirectory(tests/native)
add_subdirectory(tests/sim)

# The fuzz targets, where clang and its libFuzzer runtime are there: one per input the program
# takes from a device or the user, each from tests/fuzz/<name>_fuzz.cpp, built as <name>_fuzz.
# `make fuzz` runs each a million times, `make test` a few seconds each (tools/run-fuzz).
set(FUZZ_TARGETS search reply decode parse encode settings)
find_program(CLANGXX clang++)
if(CLANGXX)
  set(FUZZ_FLAGS -std=c++17 -g -O1 -Wall -Wextra -Werror -fsanitize=address,undefined
      -fno-sanitize-recover=all -I${PROJECT_SOURCE_DIR})
  # Compiles one source with clang into fuzz-objects/, headers tracked by a depfile.
  function(fuzz_object source sanitizer out)
    get_filename_component(name ${source} NAME_WE)
    set(object ${CMAKE_BINARY_DIR}/fuzz-objects/${name}.o)
    add_custom_command(
      OUTPUT ${object}
      COMMAND ${CMAKE_CXX_COMPILER_LAUNCHER} ${CLANGXX} ${FUZZ_FLAGS} -fsanitize=${sanitizer}
              -MD -MF ${object}.d -c ${source} -o ${object}
      DEPENDS ${source}
      DEPFILE ${object}.d
      COMMENT "Compiling ${name} for the fuzzers")
    set(${out} ${object} PARENT_SCOPE)
  endfunction()

  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz-objects)
  set(FUZZ_PURE_OBJECTS)
  foreach(source ${QUORBANE_PURE_SOURCES})
    fuzz_object(${source} fuzzer-no-link object)
    list(APPEND FUZZ_PURE_OBJECTS ${object})
  endforeach()
  set(FUZZ_BINARIES)
  foreach(target ${FUZZ_TARGETS})
    fuzz_object(${PROJECT_SOURCE_DIR}/tests/fuzz/${target}_fuzz.cpp fuzzer-no-link main)
    set(binary ${CMAKE_BINARY_DIR}/${target}_fuzz)
    add_custom_command(
      OUTPUT ${binary}
      COMMAND ${CLANGXX} -fsanitize=fuzzer,address,undefined ${main} ${FUZZ_PURE_OBJECTS} -o ${binary}
      DEPENDS ${main} ${FUZZ_PURE_OBJECTS}
      COMMENT "Linking ${target}_fuzz")
    list(APPEND FUZZ_BINARIES ${binary})
  endforeach()
  add_custom_target(fuzzers ALL DEPENDS ${FUZZ_BINARIES})
endif()

include(${PROJECT_SOURCE_DIR}/cmake/clang_windows_check.cmake)
