# Install rules: the library, the public headers under include/talvex (hosts include
# "interface/Talvex.h") and a package configuration for find_package(Talvex). Public headers are
# those interface/Talvex.h reaches: the facades, the error type and records, the common library,
# and the two platform headers the containers need. Engine and primitive headers stay private.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS talvex EXPORT TalvexTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(dir interface core common)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir} DESTINATION include/talvex
          FILES_MATCHING PATTERN "*.h")
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/platform/TalvexIppTypes.h
              ${PROJECT_SOURCE_DIR}/platform/AlignedStorage.h
        DESTINATION include/talvex/platform)
install(EXPORT TalvexTargets NAMESPACE talvex:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Talvex)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TalvexConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/TalvexConfig.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Talvex)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TalvexConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TalvexConfig.cmake ${PROJECT_BINARY_DIR}/TalvexConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Talvex)
