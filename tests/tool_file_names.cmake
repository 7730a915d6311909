# The Windows build of the tool with names outside the ANSI code page, and
# with wildcards, which Windows shells leave to the program.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
# tool(STATUS OUTPUT ARGS...): runs the tool in WORK; fails unless it exits
# with STATUS. Standard output and error are both kept in OUTPUT.
# Wine reads the command line in the locale's character set, so UTF-8 it is.
set(run ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 ${EMULATOR} ${TOOL})
function(tool expected result)
  execute_process(COMMAND ${run} ${ARGN} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL expected)
    message(FATAL_ERROR "tlg ${ARGN}: exit ${status}, not ${expected}: ${out}")
  endif()
  set(${result} "${out}" PARENT_SCOPE)
endfunction()
function(expect output text)
  string(FIND "${output}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "expected \"${text}\" in: ${output}")
  endif()
endfunction()

# info, decode and encode on Japanese, Cyrillic and Latin names; names are
# printed as UTF-8 when the output is not a console.
file(COPY_FILE ${SAMPLE} ${WORK}/名前.tlg)
tool(0 out info 名前.tlg)
expect("${out}" "名前.tlg: TLG6")
tool(0 out decode 名前.tlg)
file(SIZE ${WORK}/名前.png written)
if(written EQUAL 0)
  message(FATAL_ERROR "decode 名前.tlg wrote an empty 名前.png")
endif()
file(COPY_FILE ${WORK}/名前.png "${WORK}/Ünïcödé €.png")
tool(0 out encode "Ünïcödé €.png" -d Картинки/новые)
tool(0 out info "Картинки/новые/Ünïcödé €.tlg")
expect("${out}" "Картинки/новые/Ünïcödé €.tlg: TLG6")
tool(1 out encode "Ünïcödé €.png" -d Картинки/новые)
expect("${out}" "Ünïcödé €.tlg: already exists")

# Wildcards: files only, sorted, the folder part as given; a pattern that
# matches nothing fails on its own line and the other files go on.
file(MAKE_DIRECTORY ${WORK}/many/folder.tlg)
foreach(name b.tlg a.tlg 名前.tlg)
  file(COPY_FILE ${SAMPLE} ${WORK}/many/${name})
endforeach()
file(WRITE ${WORK}/many/other.png "")
tool(0 out info many/*.tlg)
string(REGEX MATCHALL "many/[^:\n]*:" listed "${out}")
if(NOT listed STREQUAL "many/a.tlg:;many/b.tlg:;many/名前.tlg:")
  message(FATAL_ERROR "many/*.tlg listed ${listed}: ${out}")
endif()
tool(0 out info many/?.tlg)
expect("${out}" "described 2 of 2 files")
tool(1 out info many/none*.tlg many/a.tlg)
expect("${out}" "many/none*.tlg: matches no file")
expect("${out}" "described 1 of 2 files, 1 failed")

# The read-me's example, as written, in a folder of TLG files.
file(MAKE_DIRECTORY ${WORK}/readme)
foreach(name one two three)
  file(COPY_FILE ${SAMPLE} ${WORK}/readme/${name}.tlg)
endforeach()
execute_process(COMMAND ${run} decode *.tlg -d converted WORKING_DIRECTORY ${WORK}/readme
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB converted RELATIVE ${WORK}/readme/converted ${WORK}/readme/converted/*)
if(NOT status EQUAL 0 OR NOT converted STREQUAL "one.png;three.png;two.png")
  message(FATAL_ERROR "decode *.tlg -d converted: exit ${status}, wrote ${converted}: ${out}")
endif()
