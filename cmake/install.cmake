# What `cmake --install` puts under the prefix: bin/nxs, the libraries and their headers
# (include/nxs/<subsystem>/...), and the shipped data in share/nxs/data, where the installed
# nxs finds it from its own location.
include(GNUInstallDirs)

if(TARGET nxs)
  install(TARGETS nxs RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
get_property(nxs_libraries GLOBAL PROPERTY NXS_LIBRARIES)
if(nxs_libraries)
  install(TARGETS ${nxs_libraries} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/nxs
        FILES_MATCHING PATTERN "*.h" PATTERN "*.def")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/nxs/data)
