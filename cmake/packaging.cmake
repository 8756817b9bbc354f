# Installation and manual pages. The version comes from project(VERSION)
# alone; the manual pages take it from there, and debian/changelog, which
# gives the package its version, must agree.

include(GNUInstallDirs)

# The installed programs. Each is a target of that name with a manual page
# doc/NAME.1.in; the install rules, the pages, their checks and the list of
# installed files below all follow this one list. Test binaries, fuzz
# targets and benchmarks stay in the build tree.
set(ZK_PROGRAMS zkdetect zkbatch zkdevice)

install(TARGETS ${ZK_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

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

# Configures and compresses the manual pages and the changelog, installs
# the copyright file, and registers their checks.
add_subdirectory(doc)

# Every file an installation holds, relative to the prefix, one a line:
# tests/e2e/install_test and scripts/package check installations and the
# Debian package against it.
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
