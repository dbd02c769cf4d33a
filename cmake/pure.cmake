# Sources without <windows.h>: built into the program and into the native test tree.
set(QUORBANE_PURE_SOURCES
  ${PROJECT_SOURCE_DIR}/shell/center_math.cpp
  ${PROJECT_SOURCE_DIR}/dialogs/field_rules.cpp
  ${PROJECT_SOURCE_DIR}/link/decimal_text.cpp
  ${PROJECT_SOURCE_DIR}/link/sync_settings.cpp
  ${PROJECT_SOURCE_DIR}/link/settings_file.cpp
  ${PROJECT_SOURCE_DIR}/link/cp1252.cpp
  ${PROJECT_SOURCE_DIR}/link/interrupt.cpp
  ${PROJECT_SOURCE_DIR}/link/accumulator.cpp
  ${PROJECT_SOURCE_DIR}/link/banner.cpp
  ${PROJECT_SOURCE_DIR}/link/reply_rule.cpp
)
