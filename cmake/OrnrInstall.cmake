# What `cmake --install` puts under the prefix: the module, the stand-in host and panel, the
# workbench with its man page, the public headers, a CMake package and pkg-config files.
include(CMakePackageConfigHelpers)

set(ORNR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ornr)
set(ORNR_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/ornr)

install(TARGETS ornr_headers ornrender ornhost ornpanel EXPORT ornrTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS rsm-workbench RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES include/ornr/ornr.h include/ornr/ornr_platform.h include/ornr/IPrismetWrapper.h
  DESTINATION ${ORNR_HEADER_DIR})
# The host's declarations only: the stand-in's own code in host's sub-folders is not installed.
file(GLOB host_declarations LIST_DIRECTORIES false ${PROJECT_SOURCE_DIR}/host/*.h
     ${PROJECT_SOURCE_DIR}/host/*.def)
install(FILES ${host_declarations} DESTINATION ${ORNR_HEADER_DIR}/host)
install(FILES host/controls/HostControls.h DESTINATION ${ORNR_HEADER_DIR}/host/controls)
install(FILES panel/Panel.h DESTINATION ${ORNR_HEADER_DIR}/panel)

install(EXPORT ornrTargets NAMESPACE ornr:: DESTINATION ${ORNR_CMAKE_DIR})
configure_package_config_file(cmake/ornrConfig.cmake.in ${PROJECT_BINARY_DIR}/ornrConfig.cmake
  INSTALL_DESTINATION ${ORNR_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ornrConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ornrConfig.cmake ${PROJECT_BINARY_DIR}/ornrConfigVersion.cmake
  DESTINATION ${ORNR_CMAKE_DIR})

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
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${ORNR_PC_DIR})
endforeach()

install(FILES LICENSE CHANGELOG.md README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} OPTIONAL)
install(FILES workbench/rsm-workbench.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
