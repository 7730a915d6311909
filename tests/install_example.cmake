# Installs the build into a fresh prefix, checks what lands there, and builds
# and runs programs in C against it: the example through find_package(tlg)
# (tlg::tlg and tlg::tlg_static) and through pkg-config, and the README's
# example linked statically through pkg-config --static.
#   cmake -DBUILD=... -DSOURCE=... -DWORK=... -DCC=... -DGENERATOR=... -DSAMPLE=... -DEXPECTED=... -P install_example.cmake
cmake_minimum_required(VERSION 3.20)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(failed)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(check_output program)
  set(expected "${EXPECTED}")
  if(ARGC GREATER 1)
    set(expected "${ARGV1}")
  endif()
  run(${program} ${SAMPLE})
  if(NOT out MATCHES "${expected}")
    message(FATAL_ERROR "${program} printed:\n${out}\nexpected to match: ${expected}")
  endif()
  message(STATUS "${program}: ${out}")
endfunction()

# pkg-config's flags, as a list.
function(pkg_config_flags)
  run(pkg-config ${ARGN})
  string(STRIP "${out}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(flags "${flags}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})
foreach(installed include/tlg/tlg.h include/tlg/tlg_version.h lib/libtlg.a lib/libtlg.so.1
                  lib/cmake/tlg/tlgConfig.cmake lib/cmake/tlg/tlgConfigVersion.cmake lib/pkgconfig/tlg.pc)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "the install has no ${installed}")
  endif()
endforeach()

# find_package(tlg), in a project of its own.
run(${CMAKE_COMMAND} -S ${SOURCE}/examples -B ${WORK}/cmake -G ${GENERATOR} -DCMAKE_C_COMPILER=${CC}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(${CMAKE_COMMAND} --build ${WORK}/cmake)
check_output(${WORK}/cmake/decode_first_pixel)
check_output(${WORK}/cmake/decode_first_pixel_static)

# pkg-config, with nothing but the new prefix to look in.
set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
pkg_config_flags(--variable=libdir tlg)
set(libdir "${flags}")
pkg_config_flags(--cflags --libs tlg)
file(MAKE_DIRECTORY ${WORK}/pkg-config)
run(${CC} -std=c99 -Wall -Werror -o ${WORK}/pkg-config/decode_first_pixel
    ${SOURCE}/examples/decode_first_pixel.c ${flags} -Wl,-rpath,${libdir})
check_output(${WORK}/pkg-config/decode_first_pixel)

# The README's example as written, linked into a program that needs no libtlg
# at run time: only the static library and its Libs.private can make it.
file(READ ${SOURCE}/README.md readme)
if(NOT readme MATCHES "```c\n([^`]*)```")
  message(FATAL_ERROR "README.md has no example in C")
endif()
file(WRITE ${WORK}/pkg-config/readme_example.c "${CMAKE_MATCH_1}")
pkg_config_flags(--static --cflags --libs tlg)
run(${CC} -std=c99 -Wall -Werror -static -o ${WORK}/pkg-config/readme_example
    ${WORK}/pkg-config/readme_example.c ${flags})
check_output(${WORK}/pkg-config/readme_example "^120 x 84\n$")
