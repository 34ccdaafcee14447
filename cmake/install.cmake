# Installation and packaging, included at the end of the top-level
# CMakeLists.txt (after every target exists):
#
#   lib/libVKTNetSDK11.so -> .so.1 -> .so.1.x.y   the shared library
#   include/VKTNetSDK11.h                           the public header
#   lib/cmake/VKTNetSDK/                            find_package(VKTNetSDK):
#                                                   VKTNetSDK::VKTNetSDK11
#   lib/pkgconfig/vktnetsdk.pc                      pkg-config vktnetsdk
#   bin/vktcli, bin/vkt-emulator                    the tools
#
# (lib is CMAKE_INSTALL_LIBDIR: lib/<multiarch> when configured for /usr.)
# `cpack -G DEB` in the build folder makes a Debian package of the same.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VKT_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/VKTNetSDK")

# The library's interface include folder: the source tree's api/ while
# building, the installed include folder for consumers of the package.
set_property(TARGET VKTNetSDK11 PROPERTY INTERFACE_INCLUDE_DIRECTORIES
  "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/api>"
  "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")

# The installed vktcli finds the library next to it (bin/../lib) wherever the
# tree is installed; the build tree keeps its own run path.
file(RELATIVE_PATH _vkt_bin_to_lib
  "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBDIR}")
set_property(TARGET vktcli PROPERTY INSTALL_RPATH "$ORIGIN/${_vkt_bin_to_lib}")

install(TARGETS VKTNetSDK11 EXPORT VKTNetSDKTargets
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${PROJECT_SOURCE_DIR}/api/VKTNetSDK11.h"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
install(TARGETS vktcli vkt-emulator
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

# The CMake package: targets, config and version (1.x accepts 1.y, y <= x).
install(EXPORT VKTNetSDKTargets
  NAMESPACE VKTNetSDK::
  FILE VKTNetSDKTargets.cmake
  DESTINATION "${VKT_INSTALL_CMAKEDIR}")
configure_package_config_file(
  "${CMAKE_CURRENT_LIST_DIR}/VKTNetSDKConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/cmake/VKTNetSDKConfig.cmake"
  INSTALL_DESTINATION "${VKT_INSTALL_CMAKEDIR}")
write_basic_package_version_file(
  "${PROJECT_BINARY_DIR}/cmake/VKTNetSDKConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/cmake/VKTNetSDKConfig.cmake"
  "${PROJECT_BINARY_DIR}/cmake/VKTNetSDKConfigVersion.cmake"
  DESTINATION "${VKT_INSTALL_CMAKEDIR}")

# The pkg-config file names absolute folders, so it is written at install
# time, when the real prefix is known (cmake --install --prefix, DESTDIR).
install(CODE "
  set(VKT_PC_TEMPLATE \"${CMAKE_CURRENT_LIST_DIR}/vktnetsdk.pc.in\")
  set(VKT_PC_STAGING \"${PROJECT_BINARY_DIR}/cmake/pkgconfig\")
  set(VKT_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(VKT_PC_INCLUDEDIR \"${CMAKE_INSTALL_INCLUDEDIR}\")
  set(VKT_PC_VERSION \"${PROJECT_VERSION}\")
")
install(SCRIPT "${CMAKE_CURRENT_LIST_DIR}/write_pkgconfig.cmake")

# ---------------------------------------------------------------- packaging
# One Debian package with the library, the header, the CMake and pkg-config
# files and both tools. Its dependencies (libace, libjpeg, the C++ runtime)
# come from dpkg-shlibdeps (Debian package dpkg-dev).
set(VKT_PACKAGE_CONTACT "VKTNetSDK maintainers <vktnetsdk@localhost>"
  CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGE_NAME "vktnetsdk")
set(CPACK_PACKAGE_VENDOR "VKTNetSDK")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "client library and tools for networked intelligent-traffic cameras")
set(CPACK_PACKAGE_DESCRIPTION
  "libVKTNetSDK11 is a C-interface client library for networked traffic cameras:
it finds cameras by UDP broadcast, changes their addresses, reads and writes
their settings, receives the pictures they push and their video stream, and
reads what is stored on their SD card. The package also holds the public
header, CMake and pkg-config files, the vktcli command-line tool and the
vkt-emulator camera emulator.")
set(CPACK_PACKAGE_CONTACT "${VKT_PACKAGE_CONTACT}")
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "libs")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# vktcli needs the package's own library: dpkg-shlibdeps looks for it here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}")
# The library's shlibs entry, for packages built against it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# Debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)
include(CPack)
