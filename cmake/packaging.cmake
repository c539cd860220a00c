# Install rules and the Debian package (cpack -G DEB from the build directory).
install(TARGETS velora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(UNIX AND NOT APPLE)
  install(FILES resources/velora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES resources/velora.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
endif()

set(CPACK_PACKAGE_NAME velora)
set(CPACK_PACKAGE_VENDOR "velora 开发组")
set(CPACK_PACKAGE_CONTACT "velora 开发组 <dev@velora.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Exam marking tool for teachers (试卷评测系统-教师端)")
set(CPACK_PACKAGE_DESCRIPTION "Load a problem file, an answer file and a class roster with one answer sheet per student, mark every written answer side by side with the question and the standard answer, score the choice questions, and export the score table to .xlsx or .xls.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://velora.example.org")
# Runtime libraries (Qt 5 Widgets, libxlsxwriter) are found from the binary itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
include(CPack)
