# What `cmake --install` puts where, by GNUInstallDirs: the two programs, the launcher the desktop
# entry starts, the entry, the icons, the AppStream metainfo, the man pages, the licence and the
# changelog. Nothing of the tests, benchmarks, fuzzers or tools; nothing for the Windows build.
if(NOT TARGET skarvel OR WIN32)
  return()
endif()
include(GNUInstallDirs)
# Distributions name the documentation folder after the package, which is lower case.
if("$CACHE{CMAKE_INSTALL_DOCDIR}" STREQUAL "")
  set(CMAKE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/skarvel)
endif()
set(desktop_dir ${CMAKE_CURRENT_BINARY_DIR}/desktop)

# The newest changelog entry must be this version's; its date is the release date.
file(STRINGS ${CMAKE_SOURCE_DIR}/CHANGELOG changelog_heads REGEX "^skarvel \\(")
list(GET changelog_heads 0 newest_head)
if(NOT newest_head MATCHES "^skarvel \\(${PROJECT_VERSION}\\)")
  message(FATAL_ERROR "CHANGELOG begins with '${newest_head}', not with version ${PROJECT_VERSION}: add its entry")
endif()
file(STRINGS ${CMAKE_SOURCE_DIR}/CHANGELOG changelog_trailers REGEX "^ -- ")
list(GET changelog_trailers 0 newest_trailer)
if(NOT newest_trailer MATCHES "  [A-Z][a-z][a-z], ([0-9]?[0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "no date in the newest CHANGELOG entry: '${newest_trailer}'")
endif()
set(day ${CMAKE_MATCH_1})
set(year ${CMAKE_MATCH_3})
set(month_abbreviations Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(month_names January February March April May June July August September October November December)
list(FIND month_abbreviations ${CMAKE_MATCH_2} month_index)
list(GET month_names ${month_index} month_name)
math(EXPR month "${month_index} + 1")
foreach(part day month)
  if(${part} LESS 10)
    set(${part} 0${${part}})
  endif()
endforeach()
set(SKARVEL_RELEASE_DATE ${year}-${month}-${day})
set(SKARVEL_RELEASE_MONTH "${month_name} ${year}")

# The program links the system's Qt only: no search path of Qt's standard set-up goes along.
set_target_properties(skarvel PROPERTIES INSTALL_RPATH "")
install(TARGETS skarvel netio-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The launcher finds the program relative to itself, so an unpacked package works as installed.
set(launcher_dir ${CMAKE_INSTALL_LIBEXECDIR}/skarvel)
file(RELATIVE_PATH SKARVEL_LAUNCHER_TO_BIN ${CMAKE_INSTALL_FULL_LIBEXECDIR}/skarvel ${CMAKE_INSTALL_FULL_BINDIR})
configure_file(${CMAKE_SOURCE_DIR}/data/skarvel-launcher.in ${desktop_dir}/skarvel-launcher @ONLY)
install(PROGRAMS ${desktop_dir}/skarvel-launcher DESTINATION ${launcher_dir})

# The entry names the launcher by its full path, known only when installing (cpack installs into
# a staging folder with the package's own prefix).
if(IS_ABSOLUTE ${launcher_dir})
  set(launcher_path ${launcher_dir}/skarvel-launcher)
else()
  set(launcher_path "\${CMAKE_INSTALL_PREFIX}/${launcher_dir}/skarvel-launcher")
endif()
install(CODE "
  set(SKARVEL_APP_ID ${SKARVEL_APP_ID})
  set(SKARVEL_LAUNCHER \"${launcher_path}\")
  configure_file(\"${CMAKE_SOURCE_DIR}/data/skarvel.desktop.in\" \"${desktop_dir}/${SKARVEL_APP_ID}.desktop\" @ONLY)
")
install(FILES ${desktop_dir}/${SKARVEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

configure_file(${CMAKE_SOURCE_DIR}/data/skarvel.metainfo.xml.in ${desktop_dir}/${SKARVEL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${desktop_dir}/${SKARVEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

foreach(side 16 24 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/data/icons/skarvel-${side}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${side}x${side}/apps RENAME ${SKARVEL_APP_ID}.png)
endforeach()
# The picture the window shows, at its own size.
install(FILES ${CMAKE_SOURCE_DIR}/data/icons/skarvel-47x37.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps RENAME skarvel.png)

# Man pages, compressed as distributions ship them; netio-sim's is made from its --help (in a
# cross build, run through the emulator).
find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)
configure_file(${CMAKE_SOURCE_DIR}/data/skarvel.1.in ${desktop_dir}/skarvel.1 @ONLY)
add_custom_command(OUTPUT ${desktop_dir}/netio-sim.1
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${PROJECT_VERSION} --source=Skarvel
          "--name=simulated Varnex NET-IO board for trying and testing Skarvel"
          --include=${CMAKE_SOURCE_DIR}/data/netio-sim.h2m --output=${desktop_dir}/netio-sim.1
          ${SKARVEL_NETIO_SIM_COMMAND}
  DEPENDS netio-sim ${CMAKE_SOURCE_DIR}/data/netio-sim.h2m
  VERBATIM)
set(compressed_docs)
foreach(file skarvel.1 netio-sim.1)
  add_custom_command(OUTPUT ${desktop_dir}/${file}.gz
    COMMAND ${GZIP} -9nkf ${desktop_dir}/${file}
    DEPENDS ${desktop_dir}/${file}
    VERBATIM)
  list(APPEND compressed_docs ${desktop_dir}/${file}.gz)
endforeach()
add_custom_command(OUTPUT ${desktop_dir}/changelog.gz
  COMMAND ${GZIP} -9nc ${CMAKE_SOURCE_DIR}/CHANGELOG > ${desktop_dir}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/CHANGELOG)
list(APPEND compressed_docs ${desktop_dir}/changelog.gz)
add_custom_target(compressed_docs ALL DEPENDS ${compressed_docs})
install(FILES ${desktop_dir}/skarvel.1.gz ${desktop_dir}/netio-sim.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The licence under the name Debian gives it.
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
install(FILES ${desktop_dir}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
