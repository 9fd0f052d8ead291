# cmake --install and the Debian package: the program, its man page, the README, a
# systemd user service and a desktop entry, laid out under the install prefix.
include(GNUInstallDirs)

install(TARGETS zenpo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Relocations resolved at start and then read-only, as Debian builds its programs.
target_link_options(zenpo PRIVATE -Wl,-z,relro,-z,now)
# An installed zenpo recognises itself by this folder beside its bin folder and then
# keeps its files in the user's data folder (src/platform/posix/process_posix.cc).
install(FILES README.md packaging/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/zenpo)
install(FILES packaging/zenpo.service DESTINATION lib/systemd/user)
install(FILES packaging/zenpo.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)

# The man page and the changelog, compressed as Debian keeps them (gzip -9n).
find_program(ZENPO_SCDOC scdoc)
configure_file(packaging/changelog.in changelog @ONLY)
set(zenpo_gzipped ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT changelog.gz
  COMMAND gzip -9nkf changelog
  DEPENDS ${CMAKE_BINARY_DIR}/changelog)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/zenpo)
if(ZENPO_SCDOC)
  add_custom_command(OUTPUT zenpo.1 zenpo.1.gz
    COMMAND sh -c "\"$1\" < \"$2\" > zenpo.1" sh ${ZENPO_SCDOC}
            ${CMAKE_SOURCE_DIR}/packaging/zenpo.1.scd
    COMMAND gzip -9nkf zenpo.1
    DEPENDS packaging/zenpo.1.scd VERBATIM)
  list(APPEND zenpo_gzipped ${CMAKE_BINARY_DIR}/zenpo.1.gz)
  install(FILES ${CMAKE_BINARY_DIR}/zenpo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "scdoc not found: no man page (scripts/setup installs it)")
endif()
add_custom_target(zenpo_docs ALL DEPENDS ${zenpo_gzipped})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zenpo)
set(CPACK_PACKAGE_VENDOR "ZENPO developers")
set(CPACK_PACKAGE_CONTACT "ZENPO developers <zenpo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "unattended HTTP downloader that works through a list of URLs")
set(CPACK_PACKAGE_DESCRIPTION
  "ZENPO works through a plain-text list of URLs one entry at a time. It
resumes partial files with Range requests, skips complete ones, gives every
finished file the server's Last-Modified time and writes a result code into
the entry's line. It can queue every URL copied to the X11 clipboard, and it
runs in a terminal window or unattended as a systemd user service.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps declares the libraries the program links: libcurl, ncursesw, libX11
# and the C and C++ runtimes. sensible-utils provides sensible-editor, the editor OPEN
# starts for an empty file where the user has named none.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "sensible-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)

# The package test builds the .deb from this tree, so it also checks cmake --install.
add_test(NAME package COMMAND ${CMAKE_SOURCE_DIR}/tests/install/package_test.sh
  ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
set_tests_properties(package PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
