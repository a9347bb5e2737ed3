# The Debian package rsm-workbench, packaged by cpack from the default build (scripts/package.sh):
# the install component Debian puts the workbench, the module with its texts, the stand-in host and
# panel as the workbench's own libraries, the Python package, man pages and bash completion where
# the package has them, with what Debian's tools expect beside them. docs/packaging.md says why it
# looks as it does.
set(ORNR_DEB_NAME rsm-workbench)
set(ORNR_DEB_RELEASE 1)
set(ORNR_DEB_MAINTAINER "Render Setup Manager authors <maintainers@render-setup-manager.org>")
set(deb_files ${PROJECT_BINARY_DIR}/debian-files)
set(deb_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${ORNR_DEB_NAME})
execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH OUTPUT_VARIABLE deb_multiarch
  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "dpkg-architecture failed: the Debian package needs dpkg-dev")
endif()
# The libraries are the workbench's own: in a folder of the package, not in the shared one.
set(ORNR_DEB_PREFIX /usr)
set(deb_libdir lib/${deb_multiarch}/${ORNR_DEB_NAME})
file(MAKE_DIRECTORY ${deb_files})
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/workbench/rsm-workbench.1 ${PROJECT_SOURCE_DIR}/audit/rsm-audit.1
  ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  ${PROJECT_SOURCE_DIR}/cmake/rsm-workbench.lintian-overrides
  ${PROJECT_SOURCE_DIR}/cmake/rsm-workbench.prerm)

# As dh_compress does: gzip -9n, so no name or time goes into the file.
function(ornr_gzip source target)
  execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${target} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${source} failed")
  endif()
endfunction()

# The Debian changelog has one entry for the release, dated like the last commit, so that a
# package built twice from one commit is the same.
set(ORNR_DEB_DATE "" CACHE STRING "The Debian changelog's date (RFC 5322); default: the last commit's")
if(NOT ORNR_DEB_DATE)
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%cD
    OUTPUT_VARIABLE ORNR_DEB_DATE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT ORNR_DEB_DATE)
  string(TIMESTAMP ORNR_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()
file(WRITE ${deb_files}/changelog.Debian
"${ORNR_DEB_NAME} (${PROJECT_VERSION}-${ORNR_DEB_RELEASE}) unstable; urgency=medium

  * Built from the project's own tree by scripts/package.sh; the project's
    changes are in changelog.gz.

 -- ${ORNR_DEB_MAINTAINER}  ${ORNR_DEB_DATE}
")
ornr_gzip(${deb_files}/changelog.Debian ${deb_files}/changelog.Debian.gz)
ornr_gzip(${PROJECT_SOURCE_DIR}/CHANGELOG.md ${deb_files}/changelog.gz)
ornr_gzip(${PROJECT_SOURCE_DIR}/README.md ${deb_files}/README.md.gz)
ornr_gzip(${PROJECT_SOURCE_DIR}/workbench/rsm-workbench.1 ${deb_files}/rsm-workbench.1.gz)
ornr_gzip(${PROJECT_SOURCE_DIR}/audit/rsm-audit.1 ${deb_files}/rsm-audit.1.gz)

# The copyright file in Debian's machine-readable form, with the license's own text.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" copyright_line "${license}")
set(copyright_line "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^.*Copyright [^\n]*\n\n" "" license_body "${license}")
string(REGEX REPLACE "\n\n" "\n.\n" license_body "${license_body}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" license_body "${license_body}")
string(REGEX REPLACE "\n+$" "" license_body "${license_body}")
file(WRITE ${deb_files}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${ORNR_DEB_NAME}

Files: *
Copyright: ${copyright_line}
License: Expat

License: Expat
 ${license_body}
")

# The same programs as the component Runtime, in the package's places; only a component install
# (cpack, `cmake --install --component Debian`) takes them. The executables look for
# their libraries and the module in both: ../lib of a `cmake --install` tree, the package's folder.
file(RELATIVE_PATH deb_bin_to_lib ${ORNR_DEB_PREFIX}/${CMAKE_INSTALL_BINDIR} ${ORNR_DEB_PREFIX}/${deb_libdir})
set_property(TARGET rsm-workbench rsm-audit APPEND PROPERTY INSTALL_RPATH "$ORIGIN/${deb_bin_to_lib}")
target_compile_definitions(rsm-workbench PRIVATE ORNR_DEBIAN_MODULE_DIR_FROM_BIN="${deb_bin_to_lib}")
install(TARGETS ornrender ornhost ornpanel rsm_page LIBRARY DESTINATION ${deb_libdir} COMPONENT Debian
  NAMELINK_SKIP EXCLUDE_FROM_ALL)
install(TARGETS rsm-workbench rsm-audit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Debian EXCLUDE_FROM_ALL)
install(FILES ${ORNR_TRANSLATIONS} DESTINATION ${deb_libdir}/ornrender COMPONENT Debian EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_BINARY_DIR}/workbench/rsm-workbench.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME rsm-workbench
  COMPONENT Debian EXCLUDE_FROM_ALL)
# Stripped as dh_strip does: cmake/debian-strip.sh also drops .comment and .note.
set(deb_binaries)
foreach(target rsm-workbench rsm-audit)
  list(APPEND deb_binaries "${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${target}>")
endforeach()
foreach(target ornrender ornhost ornpanel rsm_page)
  list(APPEND deb_binaries "${deb_libdir}/$<TARGET_FILE_NAME:${target}>")
endforeach()
# The Python package where Debian's python3 finds it; an extension that links the shared host
# finds the package's libraries as the programs do, through a RUNPATH relative to where it lies.
if(TARGET ornr_python)
  set(deb_python_dir lib/python3/dist-packages/ornr)
  if(ORNR_PYTHON_LINKS_HOST)
    file(RELATIVE_PATH deb_python_to_lib ${ORNR_DEB_PREFIX}/${deb_python_dir} ${ORNR_DEB_PREFIX}/${deb_libdir})
    set_property(TARGET ornr_python APPEND PROPERTY INSTALL_RPATH "$ORIGIN/${deb_python_to_lib}")
  endif()
  install(TARGETS ornr_python LIBRARY DESTINATION ${deb_python_dir} COMPONENT Debian EXCLUDE_FROM_ALL)
  install(FILES ${ORNR_PYTHON_PACKAGE_FILES} DESTINATION ${deb_python_dir} COMPONENT Debian
          EXCLUDE_FROM_ALL)
  list(APPEND deb_binaries "${deb_python_dir}/$<TARGET_FILE_NAME:ornr_python>")
endif()
install(CODE "
  foreach(file ${deb_binaries})
    execute_process(COMMAND ${PROJECT_SOURCE_DIR}/cmake/debian-strip.sh
                            \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR \"stripping \${file} failed\")
    endif()
  endforeach()" COMPONENT Debian EXCLUDE_FROM_ALL)

install(FILES ${deb_files}/copyright ${deb_files}/changelog.Debian.gz ${deb_files}/changelog.gz
  ${deb_files}/README.md.gz DESTINATION ${deb_doc_dir} COMPONENT Debian EXCLUDE_FROM_ALL)
install(FILES ${deb_files}/rsm-workbench.1.gz ${deb_files}/rsm-audit.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  COMPONENT Debian EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/rsm-workbench.lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${ORNR_DEB_NAME}
  COMPONENT Debian EXCLUDE_FROM_ALL)

# One package of the component Debian alone, under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};Debian;/")
set(CPACK_PACKAGE_NAME ${ORNR_DEB_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${ORNR_DEB_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${ORNR_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ORNR_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends from dpkg-shlibdeps; the stand-in host and panel are found in the package itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${ORNR_DEB_PREFIX}/${deb_libdir})
# The workbench opens the line editor at run time, so no Depends comes for it from its binaries:
# the least version whose symbols file has every function the terminal calls (rl_replace_line).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libedit2 (>= 3.1-20221030-2)")
# Japanese in the page needs a CJK font in the browser showing it, often on this machine.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "sqlite3, bash-completion, fonts-noto-cjk")
if(TARGET ornr_python)
  # The Python package is an extension of Debian's Python of this release, as dh_python3 would
  # say it; its byte code goes when the package goes.
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS
      ", python3 (>= ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}), python3 (<< ${Python_VERSION_MAJOR}.${ornr_python_next_minor})")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/rsm-workbench.prerm ${deb_files}/prerm COPYONLY)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${deb_files}/prerm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"host application for the render setup manager module
rsm-workbench loads the render setup manager module as a CAD host loads a
plug-in and drives it from commands, at a prompt, from scripts, or from a
panel it serves to a web browser. Render setups are named sets of 68
renderer settings kept in design files, which are SQLite databases.
.
The package holds the workbench, the module with its German and Japanese
texts, the stand-in host and panel libraries it runs on, rsm-audit,
which holds every design file of a project against the design libraries,
and the Python package ornr, which reaches all of it from Python 3.")
include(CPack)
