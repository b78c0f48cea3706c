# One static library per src/ folder. Sources are picked up from the folder
# itself (code, Designer forms and resource files), so adding a unit needs no
# edit here. A folder with no code yet gives an interface library, so the
# dependency chain app -> reception -> views -> core -> platform always holds.
function(tolvarenix_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;PRIVATE_LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.ui
       ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  set(target tolvarenix_${name})
  list(FILTER sources INCLUDE REGEX "\\.cpp$|\\.h$|\\.ui$|\\.qrc$")
  set(code ${sources})
  list(FILTER code INCLUDE REGEX "\\.cpp$")
  if(code)
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE_LIBS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_DEPENDS})
  endif()
endfunction()
