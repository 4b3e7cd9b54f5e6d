# Installs the built project into a fresh prefix, then builds and runs the
# consumer twice against it: as a CMake project through the package config,
# and with the compiler alone through pkg-config. Each run loads a job
# checked against the installed schema.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

# Runs the command; its standard output goes to the variable named by OUTPUT when given.
function(run_step)
  cmake_parse_arguments(STEP "" "OUTPUT" "" ${ARGN})
  execute_process(COMMAND ${STEP_UNPARSED_ARGUMENTS} WORKING_DIRECTORY ${WORK_DIR}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed: ${STEP_UNPARSED_ARGUMENTS}\n${out}\n${err}")
  endif()
  message(STATUS "${out}${err}")
  if(STEP_OUTPUT)
    set(${STEP_OUTPUT} "${out}" PARENT_SCOPE)
  endif()
endfunction()

run_step(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
set(schema ${prefix}/${DATADIR}/pgm_common/pgm_common_xml_pfg.xsd)
foreach(installed ${schema} ${prefix}/${MANDIR}/man1/pgmtool.1 ${prefix}/${DATADIR}/bash-completion/completions/pgmtool)
  if(NOT EXISTS ${installed})
    message(FATAL_ERROR "${installed} is not installed")
  endif()
endforeach()

run_step(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install_consumer -B ${WORK_DIR}/build -G ${GENERATOR}
         -DCMAKE_PREFIX_PATH=${prefix})
run_step(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run_step(${WORK_DIR}/build/consumer ${schema})

set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
run_step(${PKG_CONFIG} --cflags --libs pgm_common OUTPUT flags)
run_step(${PKG_CONFIG} --variable=libdir pgm_common OUTPUT libdir)
run_step(${PKG_CONFIG} --variable=schemadir pgm_common OUTPUT schemadir)
separate_arguments(flags UNIX_COMMAND "${flags}")
run_step(${CXX} -std=c++17 ${SOURCE_DIR}/tests/install_consumer/main.cpp ${flags} -Wl,-rpath,${libdir}
         -o ${WORK_DIR}/consumer_pkg_config)
run_step(${WORK_DIR}/consumer_pkg_config ${schemadir}/pgm_common_xml_pfg.xsd)
