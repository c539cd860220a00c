# Fails unless the changelog, the manual page and the metainfo all name the
# project's version, so a release cannot ship with stale packaging texts.
# Run with -DVERSION=<x.y.z> -DSOURCE=<source dir> -DAPP_ID=<metainfo id>.
string(REPLACE "." "\\." version_re "${VERSION}")
set(checks
  "packaging/changelog|^velora \\(${version_re}\\) "
  "docs/velora.1|\n\\.TH VELORA 1 \"[^\"]*\" \"velora ${version_re}\""
  "resources/${APP_ID}.metainfo.xml|<releases>[ \t\n]*<release version=\"${version_re}\"")
set(failed "")
foreach(check IN LISTS checks)
  string(REPLACE "|" ";" parts "${check}")
  list(GET parts 0 file)
  list(GET parts 1 pattern)
  file(READ "${SOURCE}/${file}" text)
  if(NOT text MATCHES "${pattern}")
    string(APPEND failed "  ${file} does not name version ${VERSION} first\n")
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "Packaging texts out of date:\n${failed}")
endif()
