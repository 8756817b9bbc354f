# Installation, manual pages and the Debian package. The version comes from
# project(VERSION) alone; the manual pages and the package take it from there.

include(GNUInstallDirs)

# The installed programs. Each is a target of that name with a manual page
# doc/NAME.1.in; the install rules, the pages, their checks and the list of
# installed files below all follow this one list. Test binaries, fuzz
# targets and benchmarks stay in the build tree.
set(ZK_PROGRAMS zkdetect zkbatch zkdevice)

install(TARGETS ${ZK_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped installation (the package's) also loses the compilers' .comment
# section, as Debian's own packages do; strip alone leaves it.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program ${ZK_PROGRAMS})
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

# The changelog's latest entry must be this version: a release without its
# entry would ship last release's notes.
file(STRINGS ${PROJECT_SOURCE_DIR}/debian/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^${PROJECT_NAME} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "debian/changelog does not begin with an entry for "
                      "${PROJECT_NAME} ${PROJECT_VERSION}: add one (dch -v ${PROJECT_VERSION})")
endif()

# bash completions, where Debian's bash-completion looks for them: each
# program's file beside its sources.
set(ZK_COMPLETIONS zkbatch zkdevice)
set(zkbatch_completion ${PROJECT_SOURCE_DIR}/zkbatch/completion.bash)
set(zkdevice_completion ${PROJECT_SOURCE_DIR}/tools/completion.bash)
set(completions_dir ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
foreach(program IN LISTS ZK_COMPLETIONS)
  install(FILES ${${program}_completion} DESTINATION ${completions_dir} RENAME ${program})
endforeach()

# Configures and compresses the manual pages, makes the copyright file and
# the changelog, and registers their checks.
add_subdirectory(doc)

# Every file an installation holds, relative to the prefix, one a line:
# tests/e2e/install_test and scripts/package check installations and the
# package against it.
set(installed_files ${CMAKE_INSTALL_DOCDIR}/changelog.gz ${CMAKE_INSTALL_DOCDIR}/copyright)
foreach(program IN LISTS ZK_PROGRAMS)
  list(APPEND installed_files ${CMAKE_INSTALL_BINDIR}/${program}
                              ${CMAKE_INSTALL_MANDIR}/man1/${program}.1.gz)
endforeach()
foreach(program IN LISTS ZK_COMPLETIONS)
  list(APPEND installed_files ${completions_dir}/${program})
endforeach()
list(SORT installed_files)
list(JOIN installed_files "\n" installed_files)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/installed-files CONTENT "${installed_files}\n")

set(CPACK_PACKAGE_NAME zkdetect)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "zkdetect developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "find zefo*kit devices on the local segment and change their IP settings")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME zkdetect)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Whoever builds a package for distribution puts their own name here.
set(ZK_PACKAGE_MAINTAINER "zkdetect developers <zkdetect@example.org>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${ZK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZK_PACKAGE_MAINTAINER}")
# The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; CPack
# indents these lines and marks the empty one as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "zkdetect broadcasts a discovery request over UDP, lists every zefo*kit
device that answers with its MAC and IP address, lets the operator pick
one, shows its IP address, netmask, gateway, DHCP flag, MTU and
nameserver, edits them through a one-letter menu and sends the new
settings to the device by its MAC address, then waits for the device to
confirm.

zkbatch lists every device that answers as CSV or JSON, watches them,
commissions many devices in one run from a plan that names each by its
MAC address, and with --serve shows them in a browser, with edits and
plans, and an HTTP API; the page is built into the program.

zkdevice simulates one or more such devices on the local host, for trying
zkdetect and zkbatch without hardware and for testing them.

bash completes the options of zkbatch and zkdevice.")
# Dependencies are read off the binaries by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# scripts/package makes the source archive with git archive, which takes the
# tracked files and nothing else; these patterns only keep CPack's own
# package_source target from taking the history and the build trees.
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")

include(CPack)
