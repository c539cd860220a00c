# Install rules and the Debian package (cpack -G DEB from the build directory).
set(VELORA_APP_ID org.example.velora)

# Full RELRO and fortified libc calls, as distributions build their programs.
if(UNIX AND NOT APPLE)
  target_link_options(velora PRIVATE LINKER:-z,relro LINKER:-z,now)
  if(NOT VELORA_SANITIZE)
    add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
  endif()
endif()

install(TARGETS velora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(UNIX AND NOT APPLE)
  # A stripped install (cpack, cmake --install --strip) also drops the compiler
  # notes that a Debian package does not carry.
  if(CMAKE_OBJCOPY)
    install(CODE "
      if(CMAKE_INSTALL_DO_STRIP)
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/velora\"
                        RESULT_VARIABLE velora_objcopy_result)
        if(velora_objcopy_result)
          message(FATAL_ERROR \"objcopy failed on velora: \${velora_objcopy_result}\")
        endif()
      endif()")
  endif()

  install(FILES resources/velora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES resources/velora.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
  install(FILES resources/${VELORA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # Debian wants the manual page and the changelog compressed with gzip -9n
  # (no name, no time stamp, so the package is reproducible).
  find_program(VELORA_GZIP gzip)
  set(velora_docs ${CMAKE_CURRENT_BINARY_DIR}/packaging)
  file(MAKE_DIRECTORY ${velora_docs})
  foreach(doc docs/velora.1 packaging/changelog)
    get_filename_component(name ${doc} NAME)
    # Copying makes the source a configure dependency: an edit re-runs this.
    configure_file(${doc} ${velora_docs}/${name} COPYONLY)
    if(VELORA_GZIP)
      execute_process(COMMAND ${VELORA_GZIP} -9n -c ${velora_docs}/${name}
                      OUTPUT_FILE ${velora_docs}/${name}.gz RESULT_VARIABLE gzip_result)
      if(gzip_result)
        message(FATAL_ERROR "gzip failed on ${doc}: ${gzip_result}")
      endif()
      set(velora_${name} ${velora_docs}/${name}.gz)
    else()
      set(velora_${name} ${velora_docs}/${name})
    endif()
  endforeach()
  install(FILES ${velora_velora.1} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${velora_changelog} packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

  if(BUILD_TESTING)
    # The validators a distribution runs on these files, so a bad edit fails here first.
    find_program(VELORA_DESKTOP_FILE_VALIDATE desktop-file-validate)
    find_program(VELORA_APPSTREAMCLI appstreamcli)
    find_program(VELORA_MAN man)
    if(VELORA_DESKTOP_FILE_VALIDATE)
      add_test(NAME package_desktop_entry
               COMMAND ${VELORA_DESKTOP_FILE_VALIDATE} ${CMAKE_CURRENT_SOURCE_DIR}/resources/velora.desktop)
      # Warnings and hints do not change its exit status.
      set_tests_properties(package_desktop_entry PROPERTIES FAIL_REGULAR_EXPRESSION ".")
    endif()
    if(VELORA_APPSTREAMCLI)
      # It passes with infos (a missing content rating is one); a software centre still wants them fixed.
      add_test(NAME package_metainfo
               COMMAND ${CMAKE_COMMAND} -DAPPSTREAMCLI=${VELORA_APPSTREAMCLI}
                       -DMETAINFO=${CMAKE_CURRENT_SOURCE_DIR}/resources/${VELORA_APP_ID}.metainfo.xml
                       -P ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check_metainfo.cmake)
    endif()
    if(VELORA_MAN)
      add_test(NAME package_manual_page
               COMMAND sh -c "LC_ALL=C.UTF-8 MANWIDTH=80 \"$0\" --warnings -E UTF-8 -l -Tutf8 -Z \"$1\" >/dev/null"
                       ${VELORA_MAN} ${CMAKE_CURRENT_SOURCE_DIR}/docs/velora.1)
      set_tests_properties(package_manual_page PROPERTIES FAIL_REGULAR_EXPRESSION ".")
    endif()
    # The package as built for use; a sanitized binary is no package.
    find_program(VELORA_LINTIAN lintian)
    if(VELORA_LINTIAN AND NOT VELORA_SANITIZE)
      add_test(NAME package_lintian
               COMMAND ${CMAKE_COMMAND} -DCPACK=${CMAKE_CPACK_COMMAND} -DLINTIAN=${VELORA_LINTIAN}
                       -DCONFIG=${CMAKE_CURRENT_BINARY_DIR}/CPackConfig.cmake
                       -DOUT=${CMAKE_CURRENT_BINARY_DIR}/package_lintian
                       -P ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check_package.cmake)
      set_tests_properties(package_lintian PROPERTIES TIMEOUT 600)
    endif()
    add_test(NAME package_versions
             COMMAND ${CMAKE_COMMAND} -DVERSION=${PROJECT_VERSION} -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}
                     -DAPP_ID=${VELORA_APP_ID} -P ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check_versions.cmake)
  endif()
endif()

set(CPACK_PACKAGE_NAME velora)
set(CPACK_PACKAGE_VENDOR "velora 开发组")
set(CPACK_PACKAGE_CONTACT "velora 开发组 <dev@velora.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Exam marking tool for teachers (试卷评测系统-教师端)")
# Lines of at most 80 columns; CPack indents them for the control file.
set(CPACK_PACKAGE_DESCRIPTION "\
velora lets a teacher mark an exam on the computer. The teacher loads a
problem file, an answer file and a class roster with one answer sheet per
student, all plain text in UTF-8, and marks every written answer one at a
time, with the question, the standard answer and the student's answer side
by side.

velora scores the choice questions against the key, sums each student's
total into a sortable score table and exports the table to an .xlsx or .xls
workbook. Everything in the window is in Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://velora.example.org")
# Runtime libraries (Qt 5 Widgets, libxlsxwriter) are found from the binary itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs and menus in Chinese (qtbase_zh_CN.qm); shlibdeps cannot see it.
if(VELORA_QT STREQUAL "6")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qttranslations5-l10n")
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
include(CPack)
