# Writes OUT with ZQ_BUILD_ID, the commit SOURCE is at ("unknown" outside a
# git work tree). Run at every build; the file changes only with the commit.
execute_process(COMMAND git -C "${SOURCE}" describe --always --dirty --abbrev=12
                OUTPUT_VARIABLE id OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
if(failed OR id STREQUAL "")
  set(id "unknown")
endif()
file(CONFIGURE OUTPUT "${OUT}" CONTENT "#pragma once\n#define ZQ_BUILD_ID \"@id@\"\n" @ONLY)
