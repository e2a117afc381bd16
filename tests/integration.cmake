# The simulator's own tests drive its analyzer directly; the integration tests
# start the simulator (and the program) as separate processes.
if(TARGET test_sim)
  target_link_libraries(test_sim PRIVATE telvar_sim)
endif()

file(GLOB integration_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_it_*.cpp)
foreach(src ${integration_sources})
  get_filename_component(name ${src} NAME_WE)
  target_compile_definitions(${name} PRIVATE TELVAR_BIN="$<TARGET_FILE:telvar>"
                                             TELVAR_SIM_BIN="$<TARGET_FILE:telvar-sim>")
  add_dependencies(${name} telvar telvar-sim)
endforeach()

# The analyzer's TCP port is fixed at 23: the cases that listen on it take turns.
foreach(name test_it_tcp test_it_reconnect test_tcpstart)
  if(TARGET ${name})
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK tcp_port_23)
  endif()
endforeach()
