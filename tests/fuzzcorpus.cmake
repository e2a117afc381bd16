# The seed corpus of every fuzz target runs as an ordinary test: the target's
# entry point is linked with a small runner that feeds it each corpus file, so
# no libFuzzer (and no clang) is needed.
file(GLOB fuzz_targets CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/fuzz_*.cpp)
foreach(src ${fuzz_targets})
  get_filename_component(name ${src} NAME_WE)
  string(REGEX REPLACE "^fuzz_" "" target ${name})
  add_executable(corpus_${target} ${src} ${CMAKE_SOURCE_DIR}/fuzz/corpusdriver.cpp)
  target_link_libraries(corpus_${target} PRIVATE telvar_app)
  add_test(NAME fuzzcorpus_${target}
           COMMAND corpus_${target} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${target})
  set(home ${CMAKE_BINARY_DIR}/testhome/fuzzcorpus_${target})
  set_tests_properties(fuzzcorpus_${target} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HOME=${home};XDG_CONFIG_HOME=${home}/.config;XDG_DATA_HOME=${home}/.local/share;XDG_RUNTIME_DIR=${home}/run;DBUS_SESSION_BUS_ADDRESS=unix:path=${home}/no-bus"
    LABELS unit TIMEOUT 120)
endforeach()
