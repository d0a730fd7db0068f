# Installation and packaging of the shipped library: the header, the library
# (on Windows the DLL in bin/ and its import library in lib/), a CMake package
# (find_package(recbase) -> recbase::recbase) and the pkg-config file
# recbase.pc. The tests, the test build of the sources, the example host and
# the benchmarks are never installed.
# On Windows builds also the deliverable folder (target `deliverable`).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

target_include_directories(recbase PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
                                          $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
if(NOT WIN32)
  # librecbase.so.1.1.0, with librecbase.so.1 and librecbase.so beside it.
  set_target_properties(recbase PROPERTIES VERSION ${PROJECT_VERSION}
                                           SOVERSION ${PROJECT_VERSION_MAJOR})
endif()

set(RECBASE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/recbase)

install(TARGETS recbase EXPORT recbaseTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/recbase.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT recbaseTargets NAMESPACE recbase:: FILE recbaseTargets.cmake
        DESTINATION ${RECBASE_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/recbaseConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/package/recbaseConfig.cmake
                              INSTALL_DESTINATION ${RECBASE_CMAKE_DIR})
# The file format and the interface stay within a major version.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/recbaseConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/recbaseConfig.cmake
              ${PROJECT_BINARY_DIR}/package/recbaseConfigVersion.cmake
        DESTINATION ${RECBASE_CMAKE_DIR})

# recbase.pc finds its prefix from its own place, so that an installation
# given another prefix (cmake --install --prefix) still works.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(RECBASE_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH pc_up "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
  string(REGEX REPLACE "/$" "" pc_up "${pc_up}")
  set(RECBASE_PC_PREFIX "\${pcfiledir}/${pc_up}")
endif()
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(RECBASE_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(RECBASE_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/cmake/recbase.pc.in ${PROJECT_BINARY_DIR}/package/recbase.pc
               @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/recbase.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The documentation: the README and docs/ (the tool's reference among them).
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}
        FILES_MATCHING PATTERN "*.md")

if(WIN32)
  # A version resource in each shipped binary (FileVersion, ProductVersion).
  function(recbase_version_resource target file description type)
    set(RECBASE_RC_FILE ${file})
    set(RECBASE_RC_DESCRIPTION ${description})
    set(RECBASE_RC_TYPE ${type})
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in
                   ${PROJECT_BINARY_DIR}/package/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/package/${target}.rc)
  endfunction()
  recbase_version_resource(recbase recbase.dll "recbase embedded record store" VFT_DLL)

  # The folder handed to Windows hosts: build-win32/deliverable/, its
  # binaries stripped of symbols and debug information. An import library
  # for Microsoft's linker (recbase.lib, the short import format of lib.exe)
  # is made from the module definition beside the mingw one.
  set(RECBASE_DELIVERABLE_DIR ${PROJECT_BINARY_DIR}/deliverable)
  set(deliverable_def ${RECBASE_DELIVERABLE_DIR}/recbase.def)
  find_program(RECBASE_STRIP NAMES ${RECBASE_MINGW_PREFIX}-strip i686-w64-mingw32-strip REQUIRED)
  find_program(RECBASE_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14
               PATHS /usr/lib/llvm-14/bin REQUIRED)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/deliverable-README.txt.in
                 ${PROJECT_BINARY_DIR}/package/README.txt @ONLY NEWLINE_STYLE CRLF)
  # Built with everything else, so that the tests can check the folder.
  add_custom_target(deliverable ALL
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${RECBASE_DELIVERABLE_DIR}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${RECBASE_DELIVERABLE_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:recbase> $<TARGET_LINKER_FILE:recbase>
            ${PROJECT_SOURCE_DIR}/include/recbase.h ${PROJECT_BINARY_DIR}/package/README.txt
            ${RECBASE_DELIVERABLE_DIR}
    COMMAND ${RECBASE_STRIP} --strip-unneeded ${RECBASE_DELIVERABLE_DIR}/recbase.dll
    COMMAND ${CMAKE_COMMAND} -DHEADER=${PROJECT_SOURCE_DIR}/include/recbase.h
            -DOUTPUT=${deliverable_def} -P ${PROJECT_SOURCE_DIR}/cmake/write-def.cmake
    COMMAND ${RECBASE_DLLTOOL} -m i386 -d ${deliverable_def}
            -l ${RECBASE_DELIVERABLE_DIR}/recbase.lib
    COMMENT "Collecting the Windows deliverable in ${RECBASE_DELIVERABLE_DIR}"
    VERBATIM)
  add_dependencies(deliverable recbase)

  # The command-line tool joins the folder when the build has one. Decided
  # once the whole project is read, wherever the tool's target is defined.
  function(recbase_deliverable_tool)
    if(TARGET recbase_tool)
      add_dependencies(deliverable recbase_tool)
      add_custom_command(TARGET deliverable POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:recbase_tool>
                ${RECBASE_DELIVERABLE_DIR}/recbase.exe
        COMMAND ${RECBASE_STRIP} --strip-all ${RECBASE_DELIVERABLE_DIR}/recbase.exe
        VERBATIM)
    endif()
  endfunction()
  cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL recbase_deliverable_tool)
endif()
