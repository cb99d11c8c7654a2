# What `cmake --install` puts where: the library with its SONAME, movar.h, movar.pc, the CMake
# package for find_package(movar) and the programs. Included after the targets exist. Each file
# belongs to a component, one per Debian package (packaging/): library, development, programs.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(TARGET w_movar)
  # The ABI is the export list; the major version changes only when a listed name changes.
  set_target_properties(w_movar PROPERTIES VERSION ${PROJECT_VERSION}
                                           SOVERSION ${PROJECT_VERSION_MAJOR})
  target_include_directories(w_movar INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  install(TARGETS w_movar EXPORT movarTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
                  NAMELINK_COMPONENT development)
  install(FILES ${MOVAR_GENERATED_DIR}/exports/movar.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
          COMPONENT development)

  set(movar_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/movar)
  install(EXPORT movarTargets NAMESPACE movar:: FILE movarTargets.cmake
          DESTINATION ${movar_cmake_dir} COMPONENT development)
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/movarConfig.cmake.in
                                ${CMAKE_BINARY_DIR}/movarConfig.cmake
                                INSTALL_DESTINATION ${movar_cmake_dir})
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/movarConfigVersion.cmake
                                   COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/movarConfig.cmake ${CMAKE_BINARY_DIR}/movarConfigVersion.cmake
          DESTINATION ${movar_cmake_dir} COMPONENT development)

  # movar.pc names the prefix given to `cmake --install --prefix`, which is known only then.
  install(CODE "
    set(movar_pc_source [[${PROJECT_SOURCE_DIR}/cmake/movar.pc.in]])
    set(movar_pc_file [[${CMAKE_BINARY_DIR}/movar.pc]])
    set(movar_libdir [[${CMAKE_INSTALL_LIBDIR}]])
    set(movar_includedir [[${CMAKE_INSTALL_INCLUDEDIR}]])
    set(movar_version [[${PROJECT_VERSION}]])" COMPONENT development)
  install(CODE [[
    set(movar_prefix "${CMAKE_INSTALL_PREFIX}")
    foreach(dir movar_libdir movar_includedir)
      if(NOT IS_ABSOLUTE "${${dir}}")
        set(${dir} "\${prefix}/${${dir}}")
      endif()
    endforeach()
    configure_file("${movar_pc_source}" "${movar_pc_file}" @ONLY)]] COMPONENT development)
  install(FILES ${CMAKE_BINARY_DIR}/movar.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
          COMPONENT development)
endif()

foreach(program movar movar-terminal)
  if(TARGET ${program})
    get_target_property(libraries ${program} LINK_LIBRARIES)
    if(w_movar IN_LIST libraries)
      # Finds the library installed beside it under the same prefix, wherever that prefix is.
      set_target_properties(${program} PROPERTIES
                            INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    endif()
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
  endif()
endforeach()

# The Debian packages of `make package`: what only a package installs, and CPack's settings.
if(TARGET w_movar AND TARGET movar AND TARGET movar-terminal AND NOT MOVAR_SANITIZE)
  add_subdirectory(${PROJECT_SOURCE_DIR}/packaging ${CMAKE_BINARY_DIR}/packaging)
endif()
