# Install layout (GNU directories) and the one function that installs a
# program: the executable to bin/ and its manual page, made at build time from
# the program's --help and --version, to man1/.

include(GNUInstallDirs)

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The names the installed files and the package go by. The application's
# identifier (reverse domain name) names the menu entry, the icons and the
# AppStream metadata.
set(VORNIX_PACKAGE_NAME vornix-can-analyzer)
set(VORNIX_APP_ID org.vornix.CanAnalyzer)
set(VORNIX_PACKAGE_MAINTAINER "The Vornix Can Analyzer maintainers <maintainers@vornix.example>"
    CACHE STRING "Maintainer of the Debian package: name <address>")
set(VORNIX_SCREENSHOT_URL "https://vornix.example/can-analyzer/screenshot.png"
    CACHE STRING "Web address of docs/screenshot.png for the AppStream metadata")

find_program(VORNIX_HELP2MAN help2man)
if(NOT VORNIX_HELP2MAN)
  message(FATAL_ERROR "help2man is needed for the manual pages: apt-get install help2man "
                      "(bash scripts/install-deps.sh installs everything the build needs)")
endif()

# Seconds since 1970 of the release date at midnight UTC, for tools that take
# SOURCE_DATE_EPOCH (help2man, string(TIMESTAMP)).
function(vornix_epoch_of_date date out)
  string(REGEX MATCH "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$" valid "${date}")
  if(NOT valid)
    message(FATAL_ERROR "not a date (YYYY-MM-DD): ${date}")
  endif()
  math(EXPR y "${CMAKE_MATCH_1}")
  math(EXPR m "1${CMAKE_MATCH_2} - 100")
  math(EXPR d "1${CMAKE_MATCH_3} - 100")
  # Days from the civil date, with the year starting in March.
  if(m LESS_EQUAL 2)
    math(EXPR y "${y} - 1")
    math(EXPR m "${m} + 9")
  else()
    math(EXPR m "${m} - 3")
  endif()
  math(EXPR era "${y} / 400")
  math(EXPR yoe "${y} - ${era} * 400")
  math(EXPR doy "(153 * ${m} + 2) / 5 + ${d} - 1")
  math(EXPR doe "${yoe} * 365 + ${yoe} / 4 - ${yoe} / 100 + ${doy}")
  math(EXPR seconds "(${era} * 146097 + ${doe} - 719468) * 86400")
  set(${out} ${seconds} PARENT_SCOPE)
endfunction()
vornix_epoch_of_date(${VORNIX_RELEASE_DATE} VORNIX_RELEASE_EPOCH)

# vornix_install_program(target)
# Installs the executable of target to bin/ and its manual page to man1/; the
# global property VORNIX_INSTALLED_PROGRAMS lists every program so installed
# (the desktop metadata and the tests read it).
function(vornix_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${VORNIX_RELEASE_EPOCH}
            ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DHELP2MAN=${VORNIX_HELP2MAN}
            "-DPACKAGE=Vornix Can Analyzer" -DOUTPUT=${page}
            -P ${PROJECT_SOURCE_DIR}/cmake/manpage.cmake
    DEPENDS ${target} ${PROJECT_SOURCE_DIR}/cmake/manpage.cmake
    COMMENT "Manual page of ${target} from its --help"
    VERBATIM)
  add_custom_target(${target}_manpage ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set_property(GLOBAL APPEND PROPERTY VORNIX_INSTALLED_PROGRAMS ${target})
endfunction()
