# Installs the build into a fresh prefix and checks what a desktop needs: the
# program in bin/, the icon in every size in the hicolor theme (each PNG of
# its folder's size) and the desktop entry naming both.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DSIZES="16;24;..." -P app_install_check.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${error}")
endif()

if(NOT EXISTS "${PREFIX}/bin/lorventa" OR IS_DIRECTORY "${PREFIX}/bin/lorventa")
  message(FATAL_ERROR "bin/lorventa is missing")
endif()
execute_process(COMMAND "${PREFIX}/bin/lorventa" --version RESULT_VARIABLE result OUTPUT_VARIABLE out)
if(NOT result EQUAL 0 OR NOT out MATCHES "^lorventa ")
  message(FATAL_ERROR "the installed program does not run: ${result} ${out}")
endif()

foreach(size ${SIZES})
  set(icon "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/lorventa.png")
  if(NOT EXISTS "${icon}")
    message(FATAL_ERROR "missing ${icon}")
  endif()
  # PNG signature, then the IHDR chunk: width and height as 32-bit big-endian.
  file(READ "${icon}" head LIMIT 24 HEX)
  string(SUBSTRING "${head}" 0 16 signature)
  string(SUBSTRING "${head}" 32 8 width)
  string(SUBSTRING "${head}" 40 8 height)
  math(EXPR w "0x${width}")
  math(EXPR h "0x${height}")
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT w EQUAL size OR NOT h EQUAL size)
    message(FATAL_ERROR "${icon} is not a ${size}x${size} PNG (${signature} ${w}x${h})")
  endif()
endforeach()

set(entry "${PREFIX}/share/applications/lorventa.desktop")
if(NOT EXISTS "${entry}")
  message(FATAL_ERROR "missing ${entry}")
endif()
file(STRINGS "${entry}" lines)
foreach(expected "[Desktop Entry]" "Type=Application" "Name=Lorventa" "Exec=lorventa" "Icon=lorventa")
  list(FIND lines "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${entry} lacks the line ${expected}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
