# zuvemo_add_test(NAME <name> LABEL <unit|db|net|gui|e2e> SOURCES <files...> [LIBS <libs...>] [OWN_MAIN])
# zuvemo_add_test(NAME <name> LABEL <label> SCRIPT <file> [ARGS <args...>])
# Builds one GoogleTest executable and registers it with CTest under its label. OWN_MAIN leaves
# out gtest's main, for tests that start a QApplication first. SCRIPT registers a shell script
# instead, for what only the built tree as a whole can show (installing, packaging).
find_package(GTest REQUIRED)

function(zuvemo_add_test)
  cmake_parse_arguments(T "OWN_MAIN" "NAME;LABEL;SCRIPT" "SOURCES;LIBS;ARGS" ${ARGN})
  if(T_SCRIPT)
    add_test(NAME ${T_NAME} COMMAND bash ${T_SCRIPT} ${T_ARGS})
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABEL}"
      ENVIRONMENT "ZUVEMO_BIN_DIR=${CMAKE_BINARY_DIR}/bin;QT_QPA_PLATFORM=offscreen;DBUS_SESSION_BUS_ADDRESS=;ZUVEMO_PACE_WINDOW_MS=600")
    return()
  endif()
  if(NOT T_NAME OR NOT T_LABEL OR NOT T_SOURCES)
    message(FATAL_ERROR "zuvemo_add_test needs NAME, LABEL and SOURCES")
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  if(T_OWN_MAIN)
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gmock ${T_LIBS})
  else()
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock ${T_LIBS})
  endif()
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABEL}"
    ENVIRONMENT "ZUVEMO_BIN_DIR=${CMAKE_BINARY_DIR}/bin;QT_QPA_PLATFORM=offscreen;DBUS_SESSION_BUS_ADDRESS=;ZUVEMO_PACE_WINDOW_MS=600")
endfunction()
