# What `cmake --install` puts under the prefix: the module with its texts in other languages, the
# stand-in host and panel, the workbench with its man page and bash completion, the public headers,
# a CMake package and pkg-config files. Component Runtime is what runs the workbench; Development
# what builds on the module; Debian (cmake/OrnrPackage.cmake) the Debian package's files.
include(CMakePackageConfigHelpers)

set(ORNR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ornr)
set(ORNR_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/ornr)

install(TARGETS ornr_headers ornrender ornhost ornpanel EXPORT ornrTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS rsm-workbench rsm-audit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
# The workbench's browser panel, loaded by name from beside the module: nothing links it.
install(TARGETS rsm_page LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_SKIP)
# Where the module's bridge looks for them: a folder beside the module.
install(FILES ${ORNR_TRANSLATIONS} DESTINATION ${CMAKE_INSTALL_LIBDIR}/ornrender COMPONENT Runtime)

install(FILES include/ornr/ornr.h include/ornr/ornr_platform.h include/ornr/IPrismetWrapper.h
  DESTINATION ${ORNR_HEADER_DIR} COMPONENT Development)
# The host's declarations only: the stand-in's own code in host's sub-folders is not installed.
file(GLOB host_declarations LIST_DIRECTORIES false ${PROJECT_SOURCE_DIR}/host/*.h
     ${PROJECT_SOURCE_DIR}/host/*.def)
install(FILES ${host_declarations} DESTINATION ${ORNR_HEADER_DIR}/host COMPONENT Development)
install(FILES host/controls/HostControls.h DESTINATION ${ORNR_HEADER_DIR}/host/controls
  COMPONENT Development)
install(FILES panel/Panel.h DESTINATION ${ORNR_HEADER_DIR}/panel COMPONENT Development)

install(EXPORT ornrTargets NAMESPACE ornr:: DESTINATION ${ORNR_CMAKE_DIR} COMPONENT Development)
configure_package_config_file(cmake/ornrConfig.cmake.in ${PROJECT_BINARY_DIR}/ornrConfig.cmake
  INSTALL_DESTINATION ${ORNR_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ornrConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ornrConfig.cmake ${PROJECT_BINARY_DIR}/ornrConfigVersion.cmake
  DESTINATION ${ORNR_CMAKE_DIR} COMPONENT Development)

# The pkg-config files find the prefix from where they lie (${pcfiledir}), so they are right under
# any --prefix and after the tree is moved; folders given as absolute paths stay as given.
set(ORNR_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${ORNR_PC_DIR}")
  set(ORNR_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH pc_to_prefix "/p/${ORNR_PC_DIR}" "/p")
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  set(ORNR_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(ORNR_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(ORNR_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
foreach(pc ornr ornr-host)
  configure_file(cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${ORNR_PC_DIR} COMPONENT Development)
endforeach()

# Named after the command, so that bash-completion loads it when the command is first completed;
# it also looks under share/ beside a bin/ on PATH, so any prefix works.
install(FILES ${PROJECT_BINARY_DIR}/workbench/rsm-workbench.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME rsm-workbench
  COMPONENT Runtime)

install(FILES LICENSE CHANGELOG.md README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Runtime)
install(FILES workbench/rsm-workbench.1 audit/rsm-audit.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  COMPONENT Runtime)

if(ORNR_DEBIAN_FLAGS)
  # The same build installed as the Debian package has it: component Debian.
  include(cmake/OrnrPackage.cmake)
endif()
