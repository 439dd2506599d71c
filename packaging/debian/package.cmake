# The Debian package of a Linux cabinet (`make package`, or cpack -G DEB in the build folder):
# quizhost_<version>_amd64.deb with both programs (the credit service as a simulator for demos), the X
# session and preflight scripts, the systemd units, man pages made from --help at build time, and the demo
# cabinet. The stand-in credit libraries stay out: the host looks
# for libtccomm.so on the system's search path when the cabinet folder has none, and a stand-in found there
# would take credit from a text file in place of the cabinet's own credit system.
set(QUIZHOST_PACKAGE_MAINTAINER "quizhost developers <quizhost@example.org>"
    CACHE STRING "Maintainer field and changelog signature of the Debian package")
set(deb_dir ${CMAKE_CURRENT_LIST_DIR})
set(deb_build ${CMAKE_BINARY_DIR}/packaging)
set(QUIZHOST_DEB_VERSION ${PROJECT_VERSION})

install(TARGETS quizhost quizhost-credit-service RUNTIME DESTINATION bin)
# Their symbols are all bound at start, so the relocation tables can be read-only (full RELRO).
foreach(program quizhost quizhost-credit-service)
  target_link_options(${program} PRIVATE -Wl,-z,relro,-z,now)
endforeach()
install(PROGRAMS ${deb_dir}/quizhost-xsession ${deb_dir}/quizhost-preflight ${deb_dir}/quizhost-wait-port
        DESTINATION lib/quizhost)
install(FILES ${deb_dir}/quizhost@.service ${deb_dir}/quizhost-credit-simulator@.service
              ${deb_dir}/quizhost-metrics@.service ${deb_dir}/quizhost-metrics@.timer
        DESTINATION lib/systemd/system)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/demo/cabinet/ DESTINATION share/quizhost/demo-cabinet
        PATTERN ".*" EXCLUDE)

# The documents Debian asks of every package: the copyright file and a compressed changelog, without a
# time stamp in the gzip header so the same sources make the same package.
configure_file(${deb_dir}/copyright ${deb_build}/copyright @ONLY)
# A native package (built from these sources, no Debian revision): its changelog is changelog.gz.
configure_file(${deb_dir}/changelog.in ${deb_build}/changelog @ONLY)
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(
  OUTPUT ${deb_build}/changelog.gz
  COMMAND ${GZIP_PROGRAM} -9nc ${deb_build}/changelog > ${deb_build}/changelog.gz
  DEPENDS ${deb_build}/changelog ${deb_dir}/changelog.in
  VERBATIM)
set(package_docs ${deb_build}/changelog.gz)

# A man page per program, written by help2man from the program's own --help, so the two cannot drift.
find_program(HELP2MAN_PROGRAM help2man)
if(HELP2MAN_PROGRAM)
  set(man_pages "")
  foreach(program quizhost quizhost-credit-service)
    set(page ${deb_build}/man/${program}.1)
    if(program STREQUAL "quizhost")
      set(h2m_args --name "host program of a coin-operated quiz cabinet")
    else()
      # It has no --version of its own; it is released with quizhost.
      set(h2m_args --name "credit service simulator for demos of a socket-platform quiz cabinet"
                   --version-string ${PROJECT_VERSION})
    endif()
    add_custom_command(
      OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${deb_build}/man
      # The page describes every machine, not the one it is built on: --help leaves out what --display
      # auto means here.
      COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY QUIZHOST_HELP_FOR_ANY_MACHINE=1
              ${HELP2MAN_PROGRAM} --no-info --no-discard-stderr --section 1 ${h2m_args}
              --include ${deb_dir}/${program}.h2m --output ${page} $<TARGET_FILE:${program}>
      COMMAND ${GZIP_PROGRAM} -9nf ${page}
      DEPENDS ${program} ${deb_dir}/${program}.h2m
      COMMENT "Writing the man page of ${program} from its --help"
      VERBATIM)
    list(APPEND man_pages ${page}.gz)
  endforeach()
  install(FILES ${man_pages} DESTINATION share/man/man1)
else()
  message(STATUS "help2man not found: the Debian package will have no man pages (scripts/install-deps)")
endif()
add_custom_target(quizhost_package_files ALL DEPENDS ${package_docs} ${man_pages})
# cpack installs without building everything first: `make package` builds what the package holds.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
# What the package ships and nothing else (`make package` builds this, not the tests and benchmarks).
add_custom_target(quizhost_package DEPENDS quizhost quizhost-credit-service quizhost_package_files)
install(FILES ${deb_build}/copyright ${package_docs} ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION share/doc/quizhost)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quizhost)
set(CPACK_PACKAGE_VERSION ${QUIZHOST_DEB_VERSION})
set(CPACK_PACKAGE_CONTACT "${QUIZHOST_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "host program of coin-operated quiz cabinets")
# The synopsis is the summary above; this is the extended description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "quizhost runs a quiz cabinet: its game movies (HTML5 pages shown full-screen
by a kiosk browser) ask it for credit, questions, prize ladders and high
scores, and it keeps the audited files: the meters, the cash pot, the
high-score table and the error log.
.
This package holds quizhost, systemd units that boot a cabinet with no desktop
and export its meters to the Prometheus node exporter, a demo cabinet, and a
credit service simulator that stands in for a socket-platform cabinet's own
credit service in demos and tests.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUIZHOST_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# adduser for the postinst; the cabinet's screen needs an X server and a browser, but the tools
# (content, meters, headless movie scripts) run without them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "chromium, xserver-xorg-core, xserver-xorg-input-libinput")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "prometheus-node-exporter")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${deb_dir}/postinst ${deb_dir}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
