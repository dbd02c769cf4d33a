# Windows tree (mingw-w64): the program, and the tests that run under Wine through CTest.
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_BINARY_DIR}/generated -I${PROJECT_SOURCE_DIR}/resources -I${PROJECT_SOURCE_DIR}")
enable_language(RC)

set(QUORBANE_WARNINGS -Wall -Wextra)
# Each function in a section of its own, so that a release program's link drops what it never
# calls (--gc-sections on the programs below). Not each datum: mingw's linker puts a zero-filled
# buffer in a section of its own into .data, stored whole in the file, instead of .bss.
add_compile_options($<$<CONFIG:Release>:-ffunction-sections>)
set(QUORBANE_GC_SECTIONS $<$<CONFIG:Release>:-Wl,--gc-sections>)

# A library of the program: its sources, built with the warnings and the Windows headers every
# part takes, then linked with `ARGN` (the system's libraries and the parts below it).
function(quorbane_library name sources)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${QUORBANE_WARNINGS})
  target_compile_definitions(${name} PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# The link: serial port, register protocol, operations and settings, with no user interface.
# qsync.exe links it alone; the window program links it under its dialogs.
quorbane_library(quorbane_link
  "${QUORBANE_LINK_SOURCES};link/com_port_win.cpp;link/file_replace_win.cpp;link/port_probe.cpp"
  kernel32)

# The pieces every window uses: the dispatch tables, the message box, the centring and the
# process globals. Nothing of the link, the dialogs or the program's own windows.
quorbane_library(quorbane_ui
  "ui/app_state.cpp;ui/center.cpp;ui/center_math.cpp;ui/dispatch.cpp;ui/message_box.cpp"
  user32 kernel32)

# Everything but the entry point, so that tests link the same code as the program: the program's
# own windows (shell/) over the dialogs, over the ui and the link.
set(QUORBANE_CORE_SOURCES
  shell/about_box.cpp
  shell/main_window.cpp
  dialogs/field_rules.cpp
  dialogs/progress_dialog.cpp
  dialogs/find_dialog.cpp
  dialogs/search_dialog.cpp
  dialogs/editor_dialog.cpp
  dialogs/editor_fields.cpp
  dialogs/editor_menu.cpp
  dialogs/settings_file_dialog.cpp
  dialogs/load_dialog.cpp
  dialogs/save_dialog.cpp
)
quorbane_library(quorbane_core "${QUORBANE_CORE_SOURCES}"
  quorbane_ui quorbane_link comctl32 comdlg32 shell32 gdi32 user32 kernel32)

add_executable(quorbane WIN32 shell/winmain.cpp resources/quorbane.rc)
target_compile_options(quorbane PRIVATE ${QUORBANE_WARNINGS})
target_link_libraries(quorbane PRIVATE quorbane_core)
# No link time in the PE header: the same sources give the same program, byte for byte.
target_link_options(quorbane PRIVATE -Wl,--no-insert-timestamp ${QUORBANE_GC_SECTIONS})
set_target_properties(quorbane PROPERTIES OUTPUT_NAME quorbane RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set_source_files_properties(resources/quorbane.rc PROPERTIES OBJECT_DEPENDS
  "${PROJECT_SOURCE_DIR}/resources/resource.h;${CMAKE_BINARY_DIR}/generated/quorbane.manifest;${CMAKE_BINARY_DIR}/generated/version.h;${PROJECT_SOURCE_DIR}/resources/app.ico;${PROJECT_SOURCE_DIR}/resources/logo.bmp")

# qsync.exe: the command-line programmer, a console program over the same link code.
add_executable(qsync ${QSYNC_SOURCES} qsync/host_win.cpp qsync/port_names_win.cpp qsync/console_interrupt_win.cpp)
add_dependencies(qsync qsync_commit)
target_compile_options(qsync PRIVATE ${QUORBANE_WARNINGS})
target_link_libraries(qsync PRIVATE quorbane_link)
target_link_options(qsync PRIVATE ${QUORBANE_GC_SECTIONS})
set_target_properties(qsync PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# GoogleTest from Debian's sources, cross-built, where they are.
if(QUORBANE_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  include(GoogleTest)
  # Windows tests run under Wine in the bench's private prefix.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/tools/wine-run)
endif()

add_subdirectory(tests/support)
# The GUI driver and qdrive.exe (make run's demonstration uses it), and the scenarios.
add_subdirectory(tests/gui)
if(QUORBANE_TESTS)
  add_subdirectory(tests/win)
  add_subdirectory(tests/bench)
endif()
