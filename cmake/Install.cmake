# Installs the header, the library, a CMake package (find_package(MaskSchedule)
# gives MaskSchedule::MaskSchedule) and a pkg-config file.
include(CMakePackageConfigHelpers)

install(FILES
    ${PROJECT_SOURCE_DIR}/include/MaskSchedule.h
    ${KW_PLATFORM_DIR}/MaskSchedulePlatform.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(TARGETS MaskSchedule EXPORT MaskScheduleTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

install(EXPORT MaskScheduleTargets
  NAMESPACE MaskSchedule::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/MaskSchedule)

configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/MaskScheduleConfig.cmake.in
  ${PROJECT_BINARY_DIR}/MaskScheduleConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/MaskSchedule)
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/MaskScheduleConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
    ${PROJECT_BINARY_DIR}/MaskScheduleConfig.cmake
    ${PROJECT_BINARY_DIR}/MaskScheduleConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/MaskSchedule)

# The pkg-config file finds the prefix from its own place, so an installed
# tree can be moved (or installed with --prefix) and still be used.
file(RELATIVE_PATH KW_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${PROJECT_SOURCE_DIR}/cmake/MaskSchedule.pc.in
  ${PROJECT_BINARY_DIR}/MaskSchedule.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/MaskSchedule.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
