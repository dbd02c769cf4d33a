# A second compiler over the programs' sources: clang for the same Windows target, with
# -Wpedantic and every warning an error. Compile only; one test in the native tree.
find_program(CLANGXX clang++)
find_program(MINGW_GXX NAMES x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++)
if(CLANGXX AND MINGW_GXX)
  # clang finds the mingw-w64 C headers but not the C++ library of Debian's mingw g++:
  # take the C++ directories from g++'s own search list.
  execute_process(COMMAND ${MINGW_GXX} -xc++ -E -Wp,-v -
                  INPUT_FILE /dev/null OUTPUT_QUIET ERROR_VARIABLE gxx_search)
  string(REGEX MATCHALL "\n [^\n]*/include/c\\+\\+[^\n]*" gxx_dirs "${gxx_search}")
  set(clang_cxx_includes)
  foreach(dir IN LISTS gxx_dirs)
    string(STRIP "${dir}" dir)
    list(APPEND clang_cxx_includes -isystem ${dir})
  endforeach()
  file(GLOB clang_check_sources CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/shell/*.cpp ${PROJECT_SOURCE_DIR}/dialogs/*.cpp ${PROJECT_SOURCE_DIR}/ui/*.cpp
    ${PROJECT_SOURCE_DIR}/link/*.cpp ${PROJECT_SOURCE_DIR}/qsync/*.cpp)
  list(FILTER clang_check_sources EXCLUDE REGEX "_posix\\.cpp$")
  add_test(NAME clang_windows_warnings
    COMMAND ${CLANGXX} --target=x86_64-w64-windows-gnu -std=c++17 -Wall -Wextra -Wpedantic -Werror
            -fsyntax-only ${clang_cxx_includes}
            -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601
            -I${PROJECT_SOURCE_DIR} -I${CMAKE_BINARY_DIR}/generated ${clang_check_sources})
endif()
