# nb_expose_headers(TARGET PUBLIC|PRIVATE FOLDER...), once per target and visibility: TARGET (and, for PUBLIC, whoever links it)
# sees the headers directly in each FOLDER as "FOLDER/Name.h", and nothing else of the source tree.
# Each header is linked into an include tree of the target's own, so a component that includes a
# header of one it does not link to fails to compile.
function(nb_expose_headers target visibility)
  set(root ${PROJECT_BINARY_DIR}/include/${target}/${visibility})
  # Headers removed from the source tree leave no link behind.
  file(REMOVE_RECURSE ${root})
  foreach(folder ${ARGN})
    file(GLOB headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.h)
    file(MAKE_DIRECTORY ${root}/${folder})
    foreach(header ${headers})
      get_filename_component(name ${header} NAME)
      file(CREATE_LINK ${header} ${root}/${folder}/${name} SYMBOLIC)
    endforeach()
  endforeach()
  target_include_directories(${target} ${visibility} ${root})
endfunction()
