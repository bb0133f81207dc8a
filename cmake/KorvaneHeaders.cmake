# korvane_library_headers(<target> [DIR <dir>] PUBLIC <header> ...)
#
# What a library shows its users. Everyone includes our headers as "<dir>/<header>"
# ("config/model.h", "device/serialline.h"), but no one has the repository root on the include
# path: each library target gets folders of its own, made here at configure time, holding
# symbolic links to the real files (an edited header is seen at once; the compiler's
# dependency files follow the links):
#
#   build/include/<target>/<dir>/            the headers listed as PUBLIC: the target's public
#                                            include folder, so only code that links the
#                                            library can include them
#   build/include/<target>_internal/<dir>/   every header among the target's sources, public
#                                            or not: the target's private include folder, and
#                                            the INTERFACE target <target>_internal for a test
#                                            that needs a private header
#
# <dir> is the folder's path below the repository root unless given (two libraries can share a
# folder and still export different headers). Each public header must exist; a header that a
# public header includes must itself be public, or users of the library cannot compile it.
# An INTERFACE target (a set of headers without code) gets only the public folder.
function(korvane_library_headers target)
  cmake_parse_arguments(H "" "DIR" "PUBLIC" ${ARGN})
  if(H_UNPARSED_ARGUMENTS OR NOT H_PUBLIC)
    message(FATAL_ERROR "korvane_library_headers(${target}): give the public headers after PUBLIC")
  endif()
  if(NOT H_DIR)
    file(RELATIVE_PATH H_DIR ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  get_target_property(type ${target} TYPE)

  set(public_root ${CMAKE_BINARY_DIR}/include/${target})
  _korvane_link_headers(${public_root}/${H_DIR} ${H_PUBLIC})
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${public_root})
    return()
  endif()
  target_include_directories(${target} PUBLIC ${public_root})

  get_target_property(sources ${target} SOURCES)
  list(FILTER sources INCLUDE REGEX "\\.h$")
  set(internal_root ${CMAKE_BINARY_DIR}/include/${target}_internal)
  _korvane_link_headers(${internal_root}/${H_DIR} ${sources} ${H_PUBLIC})
  target_include_directories(${target} PRIVATE ${internal_root})
  add_library(${target}_internal INTERFACE)
  target_include_directories(${target}_internal INTERFACE ${internal_root})
  target_link_libraries(${target}_internal INTERFACE ${target})
endfunction()

# Makes <folder> hold exactly one link per header named (relative to the current source
# folder, or absolute), removing links left by an earlier configure whose header is no longer listed.
function(_korvane_link_headers folder)
  file(REMOVE_RECURSE ${folder})
  file(MAKE_DIRECTORY ${folder})
  list(REMOVE_DUPLICATES ARGN)
  foreach(header IN LISTS ARGN)
    set(real ${header})
    if(NOT IS_ABSOLUTE ${real})
      set(real ${CMAKE_CURRENT_SOURCE_DIR}/${header})
    endif()
    if(NOT EXISTS ${real})
      message(FATAL_ERROR "No header ${real} to export")
    endif()
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${real} ${folder}/${name} SYMBOLIC)
  endforeach()
endfunction()
