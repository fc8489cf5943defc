# What a system install puts where (cmake --install, and the Debian package
# that CPack makes from it). The program finds its shipped files in
# <prefix>/share/tessary beside <prefix>/bin, and writes nothing under the prefix.
include(GNUInstallDirs)
set(TESSARY_APP_ID org.tessary.Tessary)
set(TESSARY_SHARE ${CMAKE_INSTALL_DATADIR}/tessary)

install(TARGETS tessary tessary-cfg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Stripped as Debian's own tools strip: symbols and the compiler's notes go.
option(TESSARY_STRIP_ON_INSTALL "Strip the installed executables as a Debian package wants them" OFF)
if(TESSARY_STRIP_ON_INSTALL)
  find_program(TESSARY_STRIP strip REQUIRED)
  foreach(exe tessary tessary-cfg)
    install(CODE "execute_process(COMMAND ${TESSARY_STRIP} --remove-section=.comment --remove-section=.note
      --strip-unneeded \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${exe}\"
      COMMAND_ERROR_IS_FATAL ANY)")
  endforeach()
endif()
install(FILES base/svs.cfg base/help.hlp base/cfgcheck.cdu base/settings-ranges.tsv base/crappy2.cfg
  DESTINATION ${TESSARY_SHARE})
install(DIRECTORY base/images DESTINATION ${TESSARY_SHARE})
install(FILES packaging/${TESSARY_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/${TESSARY_APP_ID}.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
install(FILES packaging/${TESSARY_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES packaging/icons/${size}x${size}/${TESSARY_APP_ID}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES packaging/icons/scalable/${TESSARY_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/completion/tessary-cfg DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Manual pages and the package's documents, compressed as Debian wants them
# (gzip -9n: no name or time inside, so the package builds the same twice).
find_program(GZIP gzip REQUIRED)
set(TESSARY_PACKAGE_DOCS ${CMAKE_CURRENT_BINARY_DIR}/package-docs)
foreach(page tessary tessary-cfg)
  configure_file(packaging/man/${page}.1.in ${TESSARY_PACKAGE_DOCS}/${page}.1 @ONLY)
endforeach()
add_custom_command(
  OUTPUT ${TESSARY_PACKAGE_DOCS}/tessary.1.gz ${TESSARY_PACKAGE_DOCS}/tessary-cfg.1.gz
         ${TESSARY_PACKAGE_DOCS}/changelog.gz
  COMMAND ${GZIP} -9nc ${TESSARY_PACKAGE_DOCS}/tessary.1 > ${TESSARY_PACKAGE_DOCS}/tessary.1.gz
  COMMAND ${GZIP} -9nc ${TESSARY_PACKAGE_DOCS}/tessary-cfg.1 > ${TESSARY_PACKAGE_DOCS}/tessary-cfg.1.gz
  COMMAND ${GZIP} -9nc ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog > ${TESSARY_PACKAGE_DOCS}/changelog.gz
  DEPENDS ${TESSARY_PACKAGE_DOCS}/tessary.1 ${TESSARY_PACKAGE_DOCS}/tessary-cfg.1 packaging/changelog
  COMMENT "Compressing the manual pages and the changelog")
add_custom_target(tessary_package_docs ALL DEPENDS ${TESSARY_PACKAGE_DOCS}/tessary.1.gz
                                                   ${TESSARY_PACKAGE_DOCS}/tessary-cfg.1.gz
                                                   ${TESSARY_PACKAGE_DOCS}/changelog.gz)
install(FILES ${TESSARY_PACKAGE_DOCS}/tessary.1.gz ${TESSARY_PACKAGE_DOCS}/tessary-cfg.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# Debian looks for them under the package's name, which is in lower case.
install(FILES packaging/copyright ${TESSARY_PACKAGE_DOCS}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tessary)

# The Debian package: cpack -G DEB (scripts/package).
set(CPACK_PACKAGE_NAME tessary)
set(CPACK_PACKAGE_VERSION ${TESSARY_BUILD_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tessary project")
set(CPACK_PACKAGE_CONTACT "The Tessary project <maintainers@tessary.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for SubSpace and Continuum arena configuration files")
# The long description; CPack puts the summary above it and indents its lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Tessary opens the arena configuration files (*.cfg) of the game SubSpace and
its client Continuum. Zone operators see every ship setting on eight ship
pages with its help text and a comparison of the eight ships, edit values and
save with a backup beside the file. A validation window checks every value
against its known range; a multifire angle preview and a bullet damage
calculator help with balancing.

The package also holds tessary-cfg, a command-line tool that reads, writes
and checks arena files from scripts through the editor's own engine.")
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tessary.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window system plug-in is loaded at run time, so no library dependency names it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SOURCE_IGNORE_FILES "/build.*/;/dist/;/\\\\.git/")
include(CPack)
