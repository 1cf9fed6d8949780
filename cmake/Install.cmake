# Where `cmake --install` and the Debian package put things.
#
# The management service starts <base>/apiexec/upstest, and the program
# takes its base directory from its own path, so the two programs go to
# <base>/apiexec whatever the prefix; everything else goes below the prefix,
# where man and net-snmp look for it. DESTDIR is honoured throughout.

include(GNUInstallDirs)

set(UPSTEST_BASE_DIR /opt/nms CACHE STRING
    "Base directory of the management service; the programs go to its apiexec directory (an absolute path)")
if(NOT IS_ABSOLUTE "${UPSTEST_BASE_DIR}")
  message(FATAL_ERROR "UPSTEST_BASE_DIR must be an absolute path, not '${UPSTEST_BASE_DIR}'")
endif()

install(TARGETS upstest upstest-store RUNTIME DESTINATION ${UPSTEST_BASE_DIR}/apiexec)
install(FILES doc/upstest.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES doc/UPSTEST-MIB DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/snmp/mibs)
install(FILES README.md cmake/deb/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The guides, where the README's links (doc/...) find them.
file(GLOB UPSTEST_GUIDES ${PROJECT_SOURCE_DIR}/doc/*.md)
install(FILES ${UPSTEST_GUIDES} DESTINATION ${CMAKE_INSTALL_DOCDIR}/doc)
# The handler is an example to copy, not a program to run from here.
install(FILES doc/snmptrapd.conf.example doc/upstest-trap-line
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# The Debian package: cpack -G DEB in the build directory.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME upstest)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
    "upstest maintainers <maintainers@users.noreply.c-seed-7b794072.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "run-once SNMP test of one UPS")
set(CPACK_PACKAGE_DESCRIPTION "upstest is the UPS test of a network-management service, which starts it
once per monitored UPS node and test cycle. It reads the node's address and
communities from the service's databases, polls four values from the UPS
with one SNMP GET (v1 or v2c), judges each against its condition, and
reports the outcome as SNMPv1 traps to the service's receiver on
127.0.0.1.

The programs are installed in ${UPSTEST_BASE_DIR}/apiexec, below the
service's base directory; the package also holds the manual page and
UPSTEST-MIB, which describes the trap.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# What the programs link is found by dpkg-shlibdeps; upstest-store loads
# libodbc and libmdb at run time (dlopen), which it cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libodbc2, libmdb3")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "odbc-postgresql, tdsodbc, libsqliteodbc")
# Compresses the manual page and adds the changelog and the lintian
# overrides, in the package only.
set(CPACK_UPSTEST_DEB_DIR ${PROJECT_SOURCE_DIR}/cmake/deb)
set(CPACK_UPSTEST_MANDIR ${CMAKE_INSTALL_MANDIR})
set(CPACK_UPSTEST_DOCDIR ${CMAKE_INSTALL_DOCDIR})
set(CPACK_PRE_BUILD_SCRIPTS ${CPACK_UPSTEST_DEB_DIR}/prepare.cmake)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
