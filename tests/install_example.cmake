# Installs the build into a fresh prefix, checks what lands there, and builds
# and runs the example against it twice: through find_package(tlg) and
# through pkg-config.
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
  run(${program} ${SAMPLE})
  if(NOT out MATCHES "${EXPECTED}")
    message(FATAL_ERROR "${program} printed:\n${out}\nexpected to match: ${EXPECTED}")
  endif()
  message(STATUS "${program}: ${out}")
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

# pkg-config, with nothing but the new prefix to look in.
set(ENV{PKG_CONFIG_LIBDIR} ${prefix}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
run(pkg-config --cflags --libs tlg)
string(STRIP "${out}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
file(MAKE_DIRECTORY ${WORK}/pkg-config)
run(${CC} -std=c99 -Wall -Werror -o ${WORK}/pkg-config/decode_first_pixel
    ${SOURCE}/examples/decode_first_pixel.c ${flags} -Wl,-rpath,${prefix}/lib)
check_output(${WORK}/pkg-config/decode_first_pixel)
