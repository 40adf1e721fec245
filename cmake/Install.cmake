# Installs the two libraries with a CMake package (find_package(VexaQr) -> VexaQr::codec, VexaQr::vexaqr) and a
# pkg-config file each (vexaqr-codec, vexaqr), their public headers, the two programs and the examples' sources.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VEXAQR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VexaQr)

install(TARGETS vexaqr_codec vexaqr EXPORT VexaQrTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The programs find a shared library beside them in the installed tree, wherever the tree is moved.
file(RELATIVE_PATH VEXAQR_LIBDIR_FROM_BINDIR ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
foreach(program vexaqr-cli vexaqr-devserver)
    if(TARGET ${program})
        set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/${VEXAQR_LIBDIR_FROM_BINDIR}")
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()
# The examples as sources to start from, beside the documentation.
file(GLOB VEXAQR_EXAMPLE_SOURCES ${PROJECT_SOURCE_DIR}/examples/*.cpp)
install(FILES ${VEXAQR_EXAMPLE_SOURCES} ${PROJECT_SOURCE_DIR}/examples/CMakeLists.txt
    DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
foreach(header ${VEXAQR_CODEC_PUBLIC_HEADERS} ${VEXAQR_ACCOUNT_PUBLIC_HEADERS})
    get_filename_component(folder ${header} DIRECTORY)
    install(FILES include/vexaqr/${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vexaqr/${folder})
endforeach()
install(EXPORT VexaQrTargets NAMESPACE VexaQr:: DESTINATION ${VEXAQR_CMAKE_DIR})

configure_package_config_file(cmake/VexaQrConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/VexaQrConfig.cmake
    INSTALL_DESTINATION ${VEXAQR_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/VexaQrConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/VexaQrConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/VexaQrConfigVersion.cmake
    DESTINATION ${VEXAQR_CMAKE_DIR})

# The .pc file finds the prefix from its own place: the path from the pkgconfig folder back up to it.
file(RELATIVE_PATH VEXAQR_PC_PREFIX_FROM_PCFILEDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
foreach(pc vexaqr-codec vexaqr)
    configure_file(cmake/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
