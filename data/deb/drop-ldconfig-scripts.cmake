# Run by cpack once the packages are made (CPACK_POST_BUILD_SCRIPTS). CPack
# gives a package with a library under /usr/lib postinst and postrm scripts
# that call ldconfig; dpkg's ldconfig trigger (deb/triggers) does that
# already, and a postrm would leave "rc" state behind on remove. The library
# package is packed again without them.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "/libpelsbus1_[^/]*\\.deb$")
    continue()
  endif()
  set(tree "${deb}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE "${tree}/DEBIAN/postinst" "${tree}/DEBIAN/postrm")
  execute_process(COMMAND dpkg-deb --root-owner-group -b "${tree}" "${deb}" OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
