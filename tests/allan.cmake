# test_allancommand runs the program itself once, as a shell would.
if(TARGET test_allancommand)
  target_compile_definitions(test_allancommand PRIVATE TELVAR_BIN="$<TARGET_FILE:telvar>")
  add_dependencies(test_allancommand telvar)
endif()
