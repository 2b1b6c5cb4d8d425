# Writes the manual page of a program from its own --help and --version with
# help2man, gzip-compressed. Runs at build time, after the program is built, so
# the page always lists the options the program has.
#
#   cmake -DPROGRAM=path -DHELP2MAN=path -DPACKAGE="Project name" -DOUTPUT=page.1.gz
#         [-DWHATIS="one-line description"] -P manpage.cmake
#
# Without WHATIS the page's one-line description is the first line of the help's
# description, without a leading "Name: " and the closing full stop.

foreach(variable PROGRAM HELP2MAN PACKAGE OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "manpage.cmake: ${variable} is not set")
  endif()
endforeach()

# The program's help and version need no display; the window program is given
# the offscreen platform all the same, should it ever start its toolkit.
set(ENV{QT_QPA_PLATFORM} offscreen)
get_filename_component(name "${PROGRAM}" NAME)

execute_process(COMMAND "${PROGRAM}" --version OUTPUT_VARIABLE version_text RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${name} --version failed: ${status}")
endif()
string(REGEX MATCH "[^\n]+" version_line "${version_text}")
string(REGEX MATCH "[^ ]+$" version "${version_line}")

if(NOT WHATIS)
  execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${name} --help failed: ${status}")
  endif()
  # QCommandLineParser prints "Usage: ..." and then the description.
  string(REGEX MATCH "^Usage:[^\n]*\n([^\n]+)" usage_and_first "${help}")
  set(WHATIS "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "^[^:]+: " "" WHATIS "${WHATIS}")
  string(REGEX REPLACE "\\.$" "" WHATIS "${WHATIS}")
  if(WHATIS STREQUAL "")
    message(FATAL_ERROR "${name} --help has no description for the manual page's NAME line")
  endif()
endif()

get_filename_component(directory "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${directory}")
string(REGEX REPLACE "\\.gz$" "" page "${OUTPUT}")
execute_process(
  COMMAND "${HELP2MAN}" --no-info --section=1 "--name=${WHATIS}"
          "--version-string=${name} ${version}" "--source=${PACKAGE} ${version}"
          "--output=${page}" "${PROGRAM}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${name}: ${status}")
endif()
# -n: no name or time stamp in the gzip header, so equal pages give equal files.
execute_process(COMMAND gzip -9 -n -f "${page}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${page}: ${status}")
endif()
