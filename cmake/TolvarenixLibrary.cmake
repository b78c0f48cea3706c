# One static library per src/ folder. Sources are picked up from the folder
# itself (code, Designer forms and resource files), so adding a unit needs no
# edit here. A folder with no code yet gives an interface library, so the
# dependency chain app -> reception -> views -> core -> platform always holds.
#
# Headers are included with their layer ("core/Main.h"). Each library shows
# only its own folder under its layer's name, through a link in the build
# tree, so a layer sees itself and the layers it depends on, never those above.
function(tolvarenix_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;PRIVATE_LIBS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.ui
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  set(target tolvarenix_${name})
  set(layer_root ${CMAKE_BINARY_DIR}/layers/${name})
  file(MAKE_DIRECTORY ${layer_root})
  file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${layer_root}/${name} SYMBOLIC)
  list(FILTER sources INCLUDE REGEX "\\.cpp$|\\.h$|\\.ui$|\\.qrc$")
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  set(code ${sources})
  list(FILTER code INCLUDE REGEX "\\.cpp$")
  if(code)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${layer_root})
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${layer_root})
    target_link_libraries(${target} INTERFACE ${ARG_DEPENDS})
  endif()
endfunction()
