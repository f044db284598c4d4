# CPack pre-build step: every file a component installs under /etc is one of
# its package's conffiles, so that dpkg keeps the administrator's changes. A
# package with none gets no conffiles list at all.
foreach(component ${CPACK_COMPONENTS_ALL})
  set(root "${CPACK_TEMPORARY_DIRECTORY}/${component}")
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${root}" "${root}/etc/*")
  list(SORT files)
  set(text "")
  foreach(f ${files})
    string(APPEND text "/${f}\n")
  endforeach()
  string(TOUPPER ${component} C)
  if(text)
    file(WRITE "${CPACK_LORVENTA_CONTROL_DIR}/${component}/conffiles" "${text}")
  else()
    unset(CPACK_DEBIAN_${C}_PACKAGE_CONTROL_EXTRA)
  endif()
endforeach()
