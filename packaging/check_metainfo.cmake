# Validates the AppStream metainfo as a software centre would: fails on any error, warning or info.
# AppStream before 1.0 (Debian 12 has 0.16) does not know the <developer> element that 1.0 wants instead
# of <developer_name>; only that one info is let through there.
# Run with -DAPPSTREAMCLI=<appstreamcli> -DMETAINFO=<file>.
execute_process(COMMAND ${APPSTREAMCLI} --version OUTPUT_VARIABLE version_text)
string(REGEX MATCH "[0-9]+\\.[0-9]+(\\.[0-9]+)?" version "${version_text}")
execute_process(COMMAND ${APPSTREAMCLI} validate --no-net ${METAINFO}
                OUTPUT_VARIABLE report ERROR_VARIABLE report RESULT_VARIABLE result)
message("appstreamcli ${version}:\n${report}")
set(issues "\n${report}")
if(version VERSION_LESS 1.0)
  string(REGEX REPLACE "\nI: [^\n]*: unknown-tag developer\n" "\n" issues "${issues}")
endif()
if(NOT result EQUAL 0 OR issues MATCHES "\n[EWI]: ")
  message(FATAL_ERROR "${METAINFO} is not valid metainfo")
endif()
