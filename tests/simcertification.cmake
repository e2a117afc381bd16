# The certification tests drive the simulator's analyzer in-process as well.
if(TARGET test_simcertification)
  target_link_libraries(test_simcertification PRIVATE telvar_sim)
endif()
