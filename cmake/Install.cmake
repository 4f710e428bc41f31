# Install rules, laid out as a Debian system expects: the programs in bin/, the
# bundle's pictures, sounds and SoX link under share/velisto/ (where the program
# looks for them, next to its own bin/), and the desktop files in their places.
include(GNUInstallDirs)

set(VELISTO_INSTALL_RESOURCES ${CMAKE_INSTALL_DATADIR}/velisto/Velisto.app/Contents/Resources)
set(VELISTO_INSTALL_DOCS ${CMAKE_INSTALL_DATADIR}/doc/velisto)
set(VELISTO_APP_ID com.example.velisto)
set(VELISTO_MAINTAINER "Fenwaro <support@example.com>")

# Every program that exists; velisto-batch joins when it is built.
foreach(program velisto velisto-batch)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(DIRECTORY resources/ DESTINATION ${VELISTO_INSTALL_RESOURCES}
  FILES_MATCHING PATTERN "logo.png" PATTERN "velisto-icon.png" PATTERN "velisto-icon-48.png" PATTERN "*.bmp" PATTERN "Presets/*.mp3")

# The SoX link: under the /usr prefix (as in the package) it points at the
# system's /usr/bin/sox, relative as Debian wants links inside /usr to be;
# under any other prefix at the sox found now.
install(CODE "set(VELISTO_CONFIGURED_SOX \"${SOX_EXECUTABLE}\")
set(VELISTO_INSTALL_RESOURCES \"${VELISTO_INSTALL_RESOURCES}\")")
install(CODE [[
  set(resources "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${VELISTO_INSTALL_RESOURCES}")
  if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    file(RELATIVE_PATH sox "/usr/${VELISTO_INSTALL_RESOURCES}" /usr/bin/sox)
  else()
    set(sox "${VELISTO_CONFIGURED_SOX}")
  endif()
  message(STATUS "Installing: ${resources}/sox -> ${sox}")
  file(MAKE_DIRECTORY "${resources}")
  file(CREATE_LINK "${sox}" "${resources}/sox" SYMBOLIC)
]])

install(FILES resources/${VELISTO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/velisto-icon-48.png RENAME velisto.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
install(FILES resources/velisto-icon-128.png RENAME velisto.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
install(FILES resources/velisto-icon.png RENAME velisto.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)

configure_file(resources/${VELISTO_APP_ID}.metainfo.xml.in
  ${CMAKE_BINARY_DIR}/${VELISTO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${VELISTO_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages (docs/man/NAME.1) and the changelog get the version and date
# filled in and are installed compressed, without a time stamp in the gzip header.
execute_process(COMMAND date -u -R -d "${VELISTO_RELEASE_DATE}"
  OUTPUT_VARIABLE VELISTO_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
file(GLOB VELISTO_MAN_PAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/*.1)
set(VELISTO_GZIPPED)
foreach(source ${VELISTO_MAN_PAGES} ${CMAKE_SOURCE_DIR}/packaging/changelog.in)
  get_filename_component(name ${source} NAME)
  string(REGEX REPLACE "\\.in$" "" name ${name})
  configure_file(${source} ${CMAKE_BINARY_DIR}/doc/${name} @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/${name}.gz
    COMMAND gzip -9 -n -f -k ${name}
    DEPENDS ${CMAKE_BINARY_DIR}/doc/${name}
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/doc
    VERBATIM)
  list(APPEND VELISTO_GZIPPED ${CMAKE_BINARY_DIR}/doc/${name}.gz)
  if(name MATCHES "\\.1$")
    install(FILES ${CMAKE_BINARY_DIR}/doc/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${VELISTO_GZIPPED})

install(FILES packaging/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
  DESTINATION ${VELISTO_INSTALL_DOCS})
# The manual and its pictures, where the installed program looks for them.
install(DIRECTORY ${VELISTO_MANUAL_DIR}/ DESTINATION ${VELISTO_INSTALL_DOCS})
