# Shared build helpers.

# ruvo_program(target SUBDIR <folder below the program folder> SOURCES ... LIBS ...)
# An executable placed in the laid-out program folder, e.g. SUBDIR "★MailData/DATA/Bdata".
function(ruvo_program target)
  cmake_parse_arguments(P "" "SUBDIR" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${P_SOURCES})
  target_link_libraries(${target} PRIVATE ${P_LIBS})
  if(P_SUBDIR)
    set(out "${RUVO_PROGRAM_DIR}/${P_SUBDIR}")
  else()
    set(out "${RUVO_PROGRAM_DIR}")
  endif()
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${out}")
  add_dependencies(${target} program_folder)
endfunction()

# ruvo_gtest(target SOURCES ... LIBS ... [ENV k=v ...] [QT] [LABELS ...] [FIXTURES ...])
# A GoogleTest executable registered test by test with CTest. With QT the
# test main creates a QApplication on the offscreen platform.
function(ruvo_gtest target)
  cmake_parse_arguments(T "QT" "TIMEOUT" "SOURCES;LIBS;ENV;LABELS;FIXTURES" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  if(T_QT)
    target_link_libraries(${target} PRIVATE ruvo_qtest_main ${T_LIBS} GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(env QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy ${T_ENV})
  # The environment goes in through "cmake -E env" around the test program:
  # a list value among the discovered tests' PROPERTIES would be split into
  # separate words and shift every property after it.
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR "${CMAKE_COMMAND};-E;env;${env}")
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(T_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()

# The program folder as the client expects to find it. "★MailData\Data" is
# the same folder as "★MailData\DATA": names are matched without regard to case.
set(RUVO_FOLDERS
  "★MailData"
  "★MailData/DATA/Adata"
  "★MailData/DATA/Bdata"
  "★MailData/DATA/Ddata/DATA"
  "★MailData/DATA/Edata"
  "★MailData/DATA/Cdata"
  "添付フォルダ"
  "■TextQuickSave"
  "Sound"
  "help"
  "顔文字データ")
set(_mk "")
foreach(f ${RUVO_FOLDERS})
  list(APPEND _mk COMMAND ${CMAKE_COMMAND} -E make_directory "${RUVO_PROGRAM_DIR}/${f}")
endforeach()
add_custom_target(program_folder ALL ${_mk} COMMENT "Laying out the program folder")
