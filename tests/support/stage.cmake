# Test fixture: puts what the install rules install, or the Debian package,
# into a fresh folder of the build tree.
#
#   cmake -DBUILD=build-dir -DOUT=folder -DWHAT=install|deb [-DCPACK=cpack] -P stage.cmake
#
# install: cmake --install into OUT/usr.
# deb:     cpack -G DEB with OUT as its package directory (the .deb lands in OUT).

file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
if(WHAT STREQUAL "install")
  execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${OUT}/usr"
                  RESULT_VARIABLE status)
elseif(WHAT STREQUAL "deb")
  execute_process(COMMAND "${CPACK}" -G DEB -B "${OUT}" --config "${BUILD}/CPackConfig.cmake"
                  WORKING_DIRECTORY "${BUILD}" RESULT_VARIABLE status)
else()
  message(FATAL_ERROR "WHAT is install or deb, not \"${WHAT}\"")
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${WHAT} into ${OUT} failed: ${status}")
endif()
