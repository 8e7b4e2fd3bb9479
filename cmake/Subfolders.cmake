# kwo_add_subfolders([EXCEPT name...]): adds every sub-folder of the current
# folder that has a CMakeLists.txt, so each subsystem owns its own group of
# tests, benchmarks, tools or media without editing a shared list.
function(kwo_add_subfolders)
  cmake_parse_arguments(ARG "" "" "EXCEPT" ${ARGN})
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(child ${children})
    get_filename_component(name ${child} NAME)
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt AND NOT name IN_LIST ARG_EXCEPT)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
