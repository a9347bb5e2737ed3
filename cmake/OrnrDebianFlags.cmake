# The compiler and linker flags a Debian package is built with, all hardening on (stack protector,
# _FORTIFY_SOURCE, format checks, full RELRO and immediate binding; PIE is the compiler's default),
# from dpkg-buildflags as a Debian build takes them, so that the default build is the one
# scripts/package.sh packages. The mapping of the source folder to "." is left out: a debugger
# finds the sources of a developer's build where they are.
find_program(ORNR_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT ORNR_DPKG_BUILDFLAGS)
  message(WARNING "dpkg-buildflags not found (package dpkg-dev): built without Debian's flags, "
                  "and scripts/package.sh cannot package this build")
  return()
endif()

function(ornr_dpkg_flags kind out)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env "DEB_BUILD_MAINT_OPTIONS=hardening=+all reproducible=-fixfilepath,-fixdebugpath"
            ${ORNR_DPKG_BUILDFLAGS} --get ${kind}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

ornr_dpkg_flags(CPPFLAGS cppflags)
ornr_dpkg_flags(CFLAGS cflags)
ornr_dpkg_flags(CXXFLAGS cxxflags)
ornr_dpkg_flags(LDFLAGS ldflags)
# What the package holds and what it is built from, not the tests: g++ 12 takes fortified copies
# inside std::string in test code for out-of-bounds ones, wrongly.
foreach(dir support host panel settings viewmodel bridge manager workbench audit python)
  if(dir STREQUAL python AND NOT ORNR_PYTHON)
    continue()
  endif()
  get_property(targets DIRECTORY ${PROJECT_SOURCE_DIR}/${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(OBJECT_LIBRARY|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE)$")
      target_compile_options(${target} PRIVATE ${cppflags} "$<$<COMPILE_LANGUAGE:C>:${cflags}>"
                                               "$<$<COMPILE_LANGUAGE:CXX>:${cxxflags}>")
    endif()
    if(type MATCHES "^(SHARED_LIBRARY|MODULE_LIBRARY|EXECUTABLE)$")
      target_link_options(${target} PRIVATE ${ldflags})
    endif()
  endforeach()
endforeach()
set(ORNR_DEBIAN_FLAGS ON)
