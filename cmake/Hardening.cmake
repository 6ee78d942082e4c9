# Debian's hardening flags, as dpkg-buildflags gives them with
# hardening=+all: fortified C library calls, stack protector, full RELRO
# with BIND_NOW, PIE. On by default in release builds (the package is one);
# the sanitizer and fuzz builds bring their own instrumentation. They are
# ELF linker flags: the Windows cross-build has none of them.
set(pelkor_harden_default OFF)
if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$" AND NOT PELKOR_SANITIZE AND NOT PELKOR_FUZZ
   AND NOT WIN32)
  set(pelkor_harden_default ON)
endif()
option(PELKOR_HARDEN "Build with Debian's hardening flags" ${pelkor_harden_default})

if(PELKOR_HARDEN AND NOT WIN32)
  set(pelkor_cflags -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Wformat -Werror=format-security)
  set(pelkor_ldflags -Wl,-z,relro -Wl,-z,now)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(DPKG_BUILDFLAGS)
    set(pelkor_cflags)
    foreach(var CPPFLAGS CXXFLAGS)
      execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                              ${DPKG_BUILDFLAGS} --get ${var}
                      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
      separate_arguments(flags UNIX_COMMAND "${flags}")
      list(APPEND pelkor_cflags ${flags})
    endforeach()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${DPKG_BUILDFLAGS} --get LDFLAGS
                    OUTPUT_VARIABLE pelkor_ldflags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(pelkor_ldflags UNIX_COMMAND "${pelkor_ldflags}")
    # Debugging and optimisation stay the build type's; the source path
    # mapping depends on where dpkg-buildflags runs.
    list(FILTER pelkor_cflags EXCLUDE REGEX "^-g|^-O|^-ffile-prefix-map")
    list(REMOVE_DUPLICATES pelkor_cflags)
  endif()
  add_compile_options(${pelkor_cflags})
  add_link_options(${pelkor_ldflags})
  # Executables are position independent too (CMAKE_POSITION_INDEPENDENT_CODE).
  include(CheckPIESupported)
  check_pie_supported()
endif()
