# Builds the Debian package into a scratch folder and runs lintian on it as the
# archive would: fails on any error or warning; infos are shown.
# Run with -DCPACK=<cpack> -DLINTIAN=<lintian> -DCONFIG=<CPackConfig.cmake> -DOUT=<scratch folder>.
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
execute_process(COMMAND ${CPACK} -G DEB --config ${CONFIG} -B ${OUT}
                OUTPUT_VARIABLE cpack_log ERROR_VARIABLE cpack_log RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed (${result}):\n${cpack_log}")
endif()
file(GLOB debs "${OUT}/*.deb")
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made ${count} packages in ${OUT}, not one:\n${cpack_log}")
endif()
execute_process(COMMAND ${LINTIAN} --version OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${LINTIAN} --display-info --fail-on error,warning ${debs}
                OUTPUT_VARIABLE report ERROR_VARIABLE errors RESULT_VARIABLE result)
message("${version} on ${debs}:\n${report}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "lintian refuses the package (${result}):\n${errors}")
endif()
