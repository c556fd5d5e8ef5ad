# vexlo_embed(OUT_CPP FILE... [FOLDER NAME FILE...]...): compiles files into the program. Each
# becomes an entry of vexlo::embedded_files() named by its file name, or "NAME/file name" for the
# files after FOLDER NAME, so that code can take every file of a folder without naming them.
function(vexlo_embed out)
  set(names "")
  set(files "")
  set(folder "")
  set(next_is_folder OFF)
  foreach(arg IN LISTS ARGN)
    if(next_is_folder)
      set(folder "${arg}/")
      set(next_is_folder OFF)
    elseif(arg STREQUAL "FOLDER")
      set(next_is_folder ON)
    else()
      get_filename_component(name ${arg} NAME)
      set(name "${folder}${name}")
      # Lookups go by name: a second file of the same name would never be found.
      if(name IN_LIST names)
        message(FATAL_ERROR "vexlo_embed: two embedded files are named ${name}")
      endif()
      list(APPEND names ${name})
      list(APPEND files ${arg})
    endif()
  endforeach()
  string(REPLACE ";" "|" joined_names "${names}")
  string(REPLACE ";" "|" joined_files "${files}")
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DNAMES=${joined_names} -DFILES=${joined_files}
            -P ${CMAKE_SOURCE_DIR}/cmake/embed_run.cmake
    DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/embed_run.cmake
    COMMENT "Embedding data files" VERBATIM)
endfunction()
