# Qt's test library compiles the build and source folders into every test as absolute paths
# (for QFINDTESTDATA, which no test here uses). With them, no test compiled in one checkout
# could be taken from ccache by a checkout in another folder; without them QFINDTESTDATA
# still searches beside the test program and its source file.
get_target_property(korvane_qttest_defs Qt6::Test INTERFACE_COMPILE_DEFINITIONS)
list(FILTER korvane_qttest_defs EXCLUDE REGEX "^QT_TESTCASE_(BUILD|SOURCE)DIR=")
set_target_properties(Qt6::Test PROPERTIES INTERFACE_COMPILE_DEFINITIONS "${korvane_qttest_defs}")

# korvane_add_test(NAME SOURCES a.cpp ... LIBS lib ... [GUI] [TIMEOUT s] [LABELS l ...])
# One QtTest executable per call, registered with CTest. Test binaries live outside the
# program folder so that folder stays what a user would install.
# A build whose pass leaves some labels out (the sanitizer build, -DKORVANE_SKIP_TEST_LABELS=
# "slow;realtime") does not build those tests either; code after a call checks if(TARGET name).
function(korvane_add_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  foreach(label IN LISTS T_LABELS)
    if(label IN_LIST KORVANE_SKIP_TEST_LABELS)
      return()
    endif()
  endforeach()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test korvane_testsupport ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests-bin)
  target_precompile_headers(${name} REUSE_FROM korvane_testpch)
  # The tests include their own moc output (test_x.moc), so the file that AUTOMOC adds to each
  # one is empty; through the shared header it would still map the whole precompiled QtCore
  # (about 250 MB with debug info, 2 to 3 s of CPU a test and pass) for nothing.
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/mocs_compilation.cpp
    TARGET_DIRECTORY ${name} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
  add_test(NAME ${name} COMMAND ${name})
  # The tests send the build's stand-in firmware to the simulated processor.
  set(env "KORVANE_PROGRAM_DIR=${KORVANE_PROGRAM_DIR}" "KORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
      "KORVANE_ALLOW_STANDIN_FIRMWARE=1"
      # Per-user files (settings, recent files, filter.bin of a read-only program folder) stay
      # inside the build, one home per test so that tests running side by side never share them.
      "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-home/${name}/config"
      "XDG_DATA_HOME=${CMAKE_BINARY_DIR}/test-home/${name}/data"
      "XDG_STATE_HOME=${CMAKE_BINARY_DIR}/test-home/${name}/state")
  if(T_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
