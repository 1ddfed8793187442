# The installed form: `cmake --install` and the Debian package CPack makes of the same tree.
#
#   <libdir>/brinmoor/   libbrinmoor and libkxplatform (versioned), the modules the platform loads by name (the
#                        certificate engine, the resource library, ...), the HELP pages, the help file and the
#                        self-extractor stub: everything the library finds beside its own file
#   <bindir>/kxhost      the host program
#   <includedir>/brinmoor/brinmoor.h, <libdir>/pkgconfig/brinmoor.pc, <libdir>/cmake/Brinmoor/
#
# The libraries and kxhost find each other relative to themselves ($ORIGIN), and the CMake package finds the tree
# from its own folder; nothing points back into the build.
include(CMakePackageConfigHelpers)

set(KX_INSTALL_PRIVATE_DIR ${CMAKE_INSTALL_LIBDIR}/brinmoor)

# The two libraries a host links carry a SONAME and a version; the modules are loaded by file name.
foreach(target brinmoor kxplatform)
  set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
endforeach()

set(kx_private_targets brinmoor kxplatform capicom kxres kxaddres kxzipcom)
foreach(target ${kx_private_targets})
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
endforeach()
install(TARGETS ${kx_private_targets} LIBRARY DESTINATION ${KX_INSTALL_PRIVATE_DIR})
install(TARGETS kxextractor RUNTIME DESTINATION ${KX_INSTALL_PRIVATE_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/HELP/ DESTINATION ${KX_INSTALL_PRIVATE_DIR}/HELP
        FILES_MATCHING PATTERN "*.htm")
install(FILES ${CMAKE_SOURCE_DIR}/resources/helpfile/Zelvane.chm DESTINATION ${KX_INSTALL_PRIVATE_DIR})

file(RELATIVE_PATH kx_bin_to_private /x/${CMAKE_INSTALL_BINDIR} /x/${KX_INSTALL_PRIVATE_DIR})
set_target_properties(kxhost PROPERTIES INSTALL_RPATH "$ORIGIN/${kx_bin_to_private}")
install(TARGETS kxhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${CMAKE_SOURCE_DIR}/library/include/brinmoor/brinmoor.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/brinmoor)

# pkg-config: written at install time, with the prefix the tree is installed under (`--prefix`, or /usr for the
# Debian package), so that the paths a host is built with are plain.
set(KX_PC_PREFIX "@KX_PC_PREFIX@")
configure_file(${CMAKE_SOURCE_DIR}/cmake/brinmoor.pc.in ${CMAKE_BINARY_DIR}/brinmoor.pc.in @ONLY)
install(CODE "
  set(KX_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${CMAKE_BINARY_DIR}/brinmoor.pc.in\"
                 \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/brinmoor.pc\" @ONLY)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/brinmoor.pc\")")

# CMake: find_package(Brinmoor) -> Brinmoor::brinmoor.
set(kx_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Brinmoor)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/BrinmoorConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/BrinmoorConfig.cmake INSTALL_DESTINATION ${kx_cmake_dir}
                              PATH_VARS KX_INSTALL_PRIVATE_DIR CMAKE_INSTALL_INCLUDEDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/BrinmoorConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/BrinmoorConfig.cmake ${CMAKE_BINARY_DIR}/BrinmoorConfigVersion.cmake
        DESTINATION ${kx_cmake_dir})

install(FILES ${CMAKE_SOURCE_DIR}/examples/host.c ${CMAKE_SOURCE_DIR}/examples/CMakeLists.txt
              ${CMAKE_SOURCE_DIR}/examples/Makefile
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/brinmoor/examples)

# The Debian package: `cpack -G DEB` in the build folder. dpkg-shlibdeps reads what the libraries link; what
# they open at run time by name (the fonts, p11-kit's PKCS#11 proxy module) is listed by hand.
set(CPACK_PACKAGE_NAME brinmoor)
set(CPACK_PACKAGE_VENDOR "Brinmoor")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "wizards, sheets and dialogs that protect, sign and manage files and certificates")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Brinmoor maintainers <brinmoor@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, p11-kit-modules")
include(CPack)
