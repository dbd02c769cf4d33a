# cmake -DSOURCE=tree -DOUT=commit.h -P commit.cmake: the tree's commit as QUORBANE_COMMIT.
execute_process(COMMAND git -C ${SOURCE} rev-parse --short=7 HEAD OUTPUT_VARIABLE commit
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(failed)
  set(commit "")
endif()
file(WRITE ${OUT}.new "#pragma once\n#define QUORBANE_COMMIT \"${commit}\"\n")
configure_file(${OUT}.new ${OUT} COPYONLY)
file(REMOVE ${OUT}.new)
