# Writes OUT, a header defining TELVAR_COMMIT: COMMIT when given, else the
# commit of the checkout in SOURCE_DIR, else "unknown". The file is rewritten
# only when that changes, so a build after a commit recompiles one file.
if(NOT COMMIT)
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty --abbrev=12 --exclude=*
                    WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE COMMIT
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(failed)
      set(COMMIT "")
    endif()
  endif()
endif()
if(NOT COMMIT MATCHES "^[0-9A-Za-z._+-]+$")
  set(COMMIT unknown)
endif()
set(text "#define TELVAR_COMMIT \"${COMMIT}\"\n")
set(old "")
if(EXISTS ${OUT})
  file(READ ${OUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUT} "${text}")
endif()
