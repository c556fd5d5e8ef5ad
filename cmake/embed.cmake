# vexlo_embed(OUT_CPP FILE...): compiles files into the program. Each becomes an entry of
# vexlo::embedded_files(), found by its file name.
function(vexlo_embed out)
  set(files ${ARGN})
  string(REPLACE ";" "|" joined "${files}")
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DFILES=${joined} -P ${CMAKE_SOURCE_DIR}/cmake/embed_run.cmake
    DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/embed_run.cmake
    COMMENT "Embedding data files" VERBATIM)
endfunction()
