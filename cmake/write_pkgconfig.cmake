# Runs at install time (from cmake_install.cmake): writes vktnetsdk.pc with
# the prefix the tree is really installed to, so that
# `cmake --install BUILD --prefix DIR` and packaging (DESTDIR) both get a
# file that points at their own include and lib folders. The variables
# VKT_PC_* are set by the install code just before this script.
set(VKT_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
configure_file("${VKT_PC_TEMPLATE}" "${VKT_PC_STAGING}/vktnetsdk.pc" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${VKT_PC_LIBDIR}/pkgconfig"
     TYPE FILE
     FILES "${VKT_PC_STAGING}/vktnetsdk.pc")
