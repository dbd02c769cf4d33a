# Sources without <windows.h>: built into the program and into the native test tree.
# The link's own pure logic, which qsync shares with the window program.
set(QUORBANE_LINK_PURE_SOURCES
  ${PROJECT_SOURCE_DIR}/link/decimal_text.cpp
  ${PROJECT_SOURCE_DIR}/link/port_name.cpp
  ${PROJECT_SOURCE_DIR}/link/sync_settings.cpp
  ${PROJECT_SOURCE_DIR}/link/settings_text.cpp
  ${PROJECT_SOURCE_DIR}/link/settings_file.cpp
  ${PROJECT_SOURCE_DIR}/link/register_compare.cpp
  ${PROJECT_SOURCE_DIR}/link/cp1252.cpp
  ${PROJECT_SOURCE_DIR}/link/field_limits.cpp
  ${PROJECT_SOURCE_DIR}/link/accumulator.cpp
  ${PROJECT_SOURCE_DIR}/link/banner.cpp
  ${PROJECT_SOURCE_DIR}/link/reply_rule.cpp
  ${PROJECT_SOURCE_DIR}/link/interrupt.cpp
  ${PROJECT_SOURCE_DIR}/link/line_trace.cpp
)
set(QUORBANE_PURE_SOURCES
  ${PROJECT_SOURCE_DIR}/ui/center_math.cpp
  ${PROJECT_SOURCE_DIR}/dialogs/field_rules.cpp
  ${QUORBANE_LINK_PURE_SOURCES}
)
# The link above the serial port seam: no system call of its own. Each platform adds its port
# (link/com_port_win.cpp or link/com_port_posix.cpp).
set(QUORBANE_LINK_SOURCES
  ${QUORBANE_LINK_PURE_SOURCES}
  ${PROJECT_SOURCE_DIR}/link/com_port_common.cpp
  ${PROJECT_SOURCE_DIR}/link/register_protocol.cpp
  ${PROJECT_SOURCE_DIR}/link/transmit_wait.cpp
  ${PROJECT_SOURCE_DIR}/link/sync_operation.cpp
)
# qsync, the command-line programmer; each platform adds qsync/host_*.cpp and port_names_*.cpp.
set(QSYNC_SOURCES
  ${PROJECT_SOURCE_DIR}/qsync/main.cpp
  ${PROJECT_SOURCE_DIR}/qsync/arguments.cpp
  ${PROJECT_SOURCE_DIR}/qsync/register_count.cpp
  ${PROJECT_SOURCE_DIR}/qsync/console.cpp
  ${PROJECT_SOURCE_DIR}/qsync/inputs.cpp
  ${PROJECT_SOURCE_DIR}/qsync/find_command.cpp
  ${PROJECT_SOURCE_DIR}/qsync/device_commands.cpp
  ${PROJECT_SOURCE_DIR}/qsync/show_command.cpp
  ${PROJECT_SOURCE_DIR}/qsync/trace_file.cpp
  ${PROJECT_SOURCE_DIR}/qsync/rig_command.cpp
)
# The commit qsync --version names, written into generated/commit.h at every build (the file
# changes only when the commit does, so nothing is rebuilt for nothing); empty outside a git tree.
add_custom_target(qsync_commit
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DOUT=${CMAKE_BINARY_DIR}/generated/commit.h
          -P ${PROJECT_SOURCE_DIR}/cmake/commit.cmake
  BYPRODUCTS ${CMAKE_BINARY_DIR}/generated/commit.h)
