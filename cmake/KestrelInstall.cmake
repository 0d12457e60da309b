# What `cmake --install` puts where, the packages a host developer finds
# (find_package(Kestrel), pkg-config kestrel), the service, and the Debian
# packages CPack makes from the same install rules:
#
#   component     Debian package     what
#   libraries     libkestrel0        libKestrel.so.0 and libHeron.so.0 (the gate and the core it imports)
#   development   libkestrel-dev     kestrel/kestrel.h, heron.h, version.h, the .so links, CMake and pkg-config files
#   programs      kestrel            kestrel, kestrel-sim, the kestrel@.service unit, manual pages
#   forms         kestrel-forms-qt   the Qt forms plugin (the dialogs), apart so that a transport needs no Qt
#
# A Linux layout; a Windows install is not described here.
if(WIN32)
  return()
endif()

include(CMakePackageConfigHelpers)
set(KESTREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kestrel)
set(KESTREL_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)

# --- Libraries, headers, packages for hosts -------------------------------
# The gate finds libHeron beside itself wherever the tree is installed.
set_target_properties(Kestrel PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS Kestrel Heron EXPORT KestrelTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libraries NAMELINK_COMPONENT development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} ${CMAKE_INSTALL_INCLUDEDIR}/kestrel)
install(FILES include/kestrel/kestrel.h heron/heron.h ${PROJECT_BINARY_DIR}/include/kestrel/version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kestrel COMPONENT development)
install(EXPORT KestrelTargets NAMESPACE Kestrel:: DESTINATION ${KESTREL_CMAKE_DIR} COMPONENT development)
configure_package_config_file(cmake/KestrelConfig.cmake.in ${PROJECT_BINARY_DIR}/KestrelConfig.cmake
                              INSTALL_DESTINATION ${KESTREL_CMAKE_DIR})
# Compatible as the SONAME says: the same major version has the same exports.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KestrelConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KestrelConfig.cmake ${PROJECT_BINARY_DIR}/KestrelConfigVersion.cmake
        DESTINATION ${KESTREL_CMAKE_DIR} COMPONENT development)
# kestrel.pc finds its prefix from its own place, so that a tree installed
# with --prefix or DESTDIR anywhere serves pkg-config as it is.
file(RELATIVE_PATH KESTREL_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" KESTREL_PC_TO_PREFIX "${KESTREL_PC_TO_PREFIX}")
configure_file(cmake/kestrel.pc.in ${PROJECT_BINARY_DIR}/kestrel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kestrel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The forms plugin: in the folder beside the gate where the forms layer
# looks for it (platform/forms/Application.h), out of the loader's own
# folders since it has no SONAME.
if(TARGET KestrelFormsQt)
  install(TARGETS KestrelFormsQt LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/kestrel COMPONENT forms)
endif()

# --- Programs and the service ---------------------------------------------
if(TARGET kestrel)
  # The programs reach libHeron (and kestrel the gate) from their own place.
  file(RELATIVE_PATH KESTREL_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(kestrel PROPERTIES INSTALL_RPATH "$ORIGIN/${KESTREL_BIN_TO_LIB}")
  install(TARGETS kestrel kestrel-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
  # The unit names the program where this install puts it: made when
  # installing, since --prefix (and CPack's /usr) decide that only then.
  install(CODE "set(KESTREL_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/kestrel\")
                configure_file(\"${KESTREL_PACKAGING}/systemd/kestrel@.service.in\"
                               \"${PROJECT_BINARY_DIR}/systemd/kestrel@.service\" @ONLY)"
          COMPONENT programs)
  # Where systemd looks for a package's units under the prefix.
  install(FILES ${PROJECT_BINARY_DIR}/systemd/kestrel@.service DESTINATION lib/systemd/system COMPONENT programs)
  foreach(page kestrel.1 kestrel-sim.1)
    set(gz ${PROJECT_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${gz}
                       COMMAND ${CMAKE_COMMAND} -E copy ${KESTREL_PACKAGING}/man/${page} ${PROJECT_BINARY_DIR}/man/${page}
                       COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/man/${page}
                       DEPENDS ${KESTREL_PACKAGING}/man/${page} VERBATIM)
    list(APPEND KESTREL_MAN_PAGES ${gz})
  endforeach()
  add_custom_target(kestrel_man_pages ALL DEPENDS ${KESTREL_MAN_PAGES})
  install(FILES ${KESTREL_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programs)
endif()

# --- Debian packages -------------------------------------------------------
set(KESTREL_DEB_NAME_libraries libkestrel${PROJECT_VERSION_MAJOR})
set(KESTREL_DEB_NAME_development libkestrel-dev)
set(KESTREL_DEB_NAME_programs kestrel)
set(KESTREL_DEB_NAME_forms kestrel-forms-qt)
set(KESTREL_DEB_COMPONENTS libraries development programs)
if(TARGET KestrelFormsQt)
  list(APPEND KESTREL_DEB_COMPONENTS forms)
endif()

# Every package carries its copyright and changelog in its doc folder, and
# its lintian overrides, each with the reason it is there.
configure_file(${KESTREL_PACKAGING}/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.gz
                   COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/debian/changelog
                   DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(kestrel_deb_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
foreach(component IN LISTS KESTREL_DEB_COMPONENTS)
  set(pkg ${KESTREL_DEB_NAME_${component}})
  install(FILES ${KESTREL_PACKAGING}/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg} COMPONENT ${component})
  if(EXISTS ${KESTREL_PACKAGING}/debian/${component}.lintian-overrides)
    install(FILES ${KESTREL_PACKAGING}/debian/${component}.lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${pkg} COMPONENT ${component})
  endif()
  string(TOUPPER ${component} up)
  set(CPACK_DEBIAN_${up}_PACKAGE_NAME ${pkg})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VENDOR "Kestrel developers")
set(CPACK_PACKAGE_CONTACT "Kestrel developers <kestrel@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${KESTREL_DEB_COMPONENTS})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # <package>_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies on other packages are computed: dpkg-shlibdeps reads what
# each binary links (libHeron, our own, is found in the build tree and is
# covered by the dependency on libkestrel0 below), and the dependencies
# between our packages follow from the components, at exactly this version.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set_target_properties(Heron PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/heron)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/heron)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS libraries)
set(CPACK_COMPONENT_PROGRAMS_DEPENDS libraries)
set(CPACK_COMPONENT_FORMS_DEPENDS libraries)

set(CPACK_DEBIAN_LIBRARIES_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIBRARIES_DESCRIPTION
    "modem transport gate (shared library)
Kestrel carries a document-exchange host's packets between parties over
dial-up modems on the serial ports COM1 to COM16: it keeps a pool of modem
channels, dials out, answers calls, frames packets on the line and reports
failures to the host.

This package holds the gate library, libKestrel, and libHeron, the
transport core the gate imports its host functions from.")
# ldconfig runs through its trigger.
file(WRITE ${PROJECT_BINARY_DIR}/debian/libraries/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBRARIES_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/libraries/triggers)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "modem transport gate (development files)
Kestrel carries a document-exchange host's packets between parties over
dial-up modems on the serial ports COM1 to COM16.

This package holds what a host program is built with: the C headers of the
gate's exports (kestrel/kestrel.h) and of its core (heron.h), and the files
that find_package(Kestrel) in CMake and pkg-config read.")

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION comm)
# The maintainer scripts make the service's user with adduser.
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_DEPENDS adduser)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SUGGESTS ${KESTREL_DEB_NAME_forms})
set(CPACK_COMPONENT_PROGRAMS_DESCRIPTION
    "modem transport gate (programs and answering service)
Kestrel carries a document-exchange host's packets between parties over
dial-up modems on the serial ports COM1 to COM16.

This package holds kestrel, a host program that sends and receives
documents through the gate and keeps its settings, parties and journal in
SQLite; kestrel-sim, a simulated telephone exchange of Hayes modems on
pseudo-terminals; and the kestrel@.service unit that answers calls
unattended for one gate code.")
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_CONTROL_EXTRA
    ${KESTREL_PACKAGING}/debian/postinst ${KESTREL_PACKAGING}/debian/prerm ${KESTREL_PACKAGING}/debian/postrm)

set(CPACK_DEBIAN_FORMS_PACKAGE_SECTION comm)
set(CPACK_COMPONENT_FORMS_DESCRIPTION
    "modem transport gate (Qt dialogs)
Kestrel carries a document-exchange host's packets between parties over
dial-up modems on the serial ports COM1 to COM16.

This package holds the Qt 6 plugin that draws the gate's configuration
dialogs and its monitor window. The transport runs without it.")

include(CPack)
