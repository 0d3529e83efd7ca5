# The sanitized build (RUVO_SANITIZE=ON): AddressSanitizer (with its leak
# checker) and UndefinedBehaviorSanitizer over every target, halting at the
# first fault of either. Each program carries its run-time defaults
# (sanitize/defaults.cpp), so a test, an asset generator run by the build or
# a program started by hand all run the same way without any environment;
# ASAN_OPTIONS, UBSAN_OPTIONS and LSAN_OPTIONS still override them.

if(RUVO_SANITIZE)
  set(RUVO_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${RUVO_SANITIZE_FLAGS})
  add_link_options(${RUVO_SANITIZE_FLAGS})

  add_library(ruvo_sanitize_defaults OBJECT ${CMAKE_CURRENT_LIST_DIR}/sanitize/defaults.cpp)
  target_compile_definitions(ruvo_sanitize_defaults PRIVATE
    "RUVO_LSAN_SUPPRESSIONS=\"${CMAKE_CURRENT_LIST_DIR}/sanitize/lsan.supp\"")
endif()

# ruvo_sanitize_executables(<top source folder>)
# Links the run-time defaults into every executable defined in the folder
# and the folders below it (called once, after every layer has joined).
function(ruvo_sanitize_executables dir)
  if(NOT RUVO_SANITIZE)
    return()
  endif()
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_link_libraries(${t} PRIVATE ruvo_sanitize_defaults)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(d ${subdirs})
    ruvo_sanitize_executables(${d})
  endforeach()
endfunction()
