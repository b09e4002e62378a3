# Builds files into a program as a table that FindEmbeddedResource and
# LoadResource search by file name.
#
# orvo_embed_resources(<library> <files...>)
#   Makes the static library <library> holding the table for <files>.
# orvo_generate_resource_table(<output.cpp> <files...>)
#   Only adds the build step that writes <output.cpp>; compile that file into
#   a program to give it its own table in place of the library's.
#
# The table is regenerated when a file changes or the list of files changes.
# Each resource is named by its file name, so two files of the same name are
# an error.

function(orvo_generate_resource_table output)
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/GenerateResourceTable.cmake)
  set(files)
  set(names)
  foreach(file IN LISTS ARGN)
    get_filename_component(file ${file} ABSOLUTE)
    get_filename_component(name ${file} NAME)
    if(name IN_LIST names)
      message(FATAL_ERROR "Two resources are called ${name}; the second is ${file}")
    endif()
    list(APPEND names ${name})
    list(APPEND files ${file})
  endforeach()

  # The build step reads the list from this file. It is rewritten only when
  # the list changes, so that adding or removing a file regenerates the table.
  set(manifest ${output}.files)
  string(JOIN "\n" listing ${files})
  set(listing "${listing}\n")
  set(previous "")
  if(EXISTS ${manifest})
    file(READ ${manifest} previous)
  endif()
  if(NOT previous STREQUAL listing)
    file(WRITE ${manifest} "${listing}")
  endif()

  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${manifest} -DOUTPUT=${output} -P ${script}
    DEPENDS ${files} ${manifest} ${script}
    COMMENT "Embedding resources into ${output}"
    VERBATIM)
endfunction()

function(orvo_embed_resources library)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${library}_table.cpp)
  orvo_generate_resource_table(${output} ${ARGN})
  add_library(${library} STATIC ${output})
  get_filename_component(root ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/.. ABSOLUTE)
  target_include_directories(${library} PRIVATE ${root})
endfunction()
