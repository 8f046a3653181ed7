# The Debian package: "cpack -G DEB" in a build folder makes
# brevalt_VERSION-1_ARCH.deb with Debian's layout for games:
#
#   /usr/games/brevalt, /usr/games/brevalt-book   the start command, the book tool
#   /usr/lib/games/brevalt/brevalt                the engine
#   /usr/share/games/brevalt/                     MoveFile, hash_values, Brevalt.ini,
#                                                 the EPD suites, book_normal.bin
#   /usr/share/games/plugins/xboard/brevalt.eng   the engine's entry in xboard's list
#   /usr/share/man/man6/                          brevalt(6), brevalt-book(6)
#   /usr/share/doc/brevalt/                       copyright, changelog.Debian.gz, READMEs
#
# xboard reads an engine plugin file only when its first line is exactly
# xboard's fixed plugin header (in brevalt.eng); reworded, Brevalt would drop
# out of the engine list, so that line stays as xboard spells it.
#
# These install rules belong to the component "debian", which a plain
# "cmake --install" leaves out (EXCLUDE_FROM_ALL) and which is all that
# CPack installs, so the two layouts live side by side in one build.
# Included from the top-level CMakeLists.txt after its own install rules,
# whose file lists it reuses.

if(NOT UNIX OR APPLE OR CMAKE_CROSSCOMPILING)
  return()
endif()
find_program(BREVALT_GZIP gzip)
if(NOT BREVALT_GZIP)
  message(STATUS "gzip not found: no Debian package rules")
  return()
endif()

set(BREVALT_DEB_BINDIR games)
set(BREVALT_DEB_ENGINE_DIR lib/games/brevalt)
set(BREVALT_DEB_DATA_DIR share/games/brevalt)
set(BREVALT_DEB_DOC_DIR share/doc/brevalt)
set(BREVALT_DEB_MAN_DIR share/man/man6)
set(BREVALT_DEB_XBOARD_DIR share/games/plugins/xboard)
set(brevalt_deb_out ${CMAKE_BINARY_DIR}/debian)

# The start command of the package: the same script as the plain
# installation's, its paths relative to /usr/games.
file(RELATIVE_PATH brevalt_rel "/usr/${BREVALT_DEB_BINDIR}" "/usr/${BREVALT_DEB_ENGINE_DIR}/brevalt")
set(BREVALT_WRAPPER_ENGINE "\"$here/${brevalt_rel}\"")
file(RELATIVE_PATH brevalt_rel "/usr/${BREVALT_DEB_BINDIR}" "/usr/${BREVALT_DEB_DATA_DIR}")
set(BREVALT_WRAPPER_DATA "\"$here/${brevalt_rel}\"")
configure_file(${CMAKE_SOURCE_DIR}/tools/install/brevalt.sh.in ${brevalt_deb_out}/brevalt @ONLY)
# Where /usr/games/brevalt-book and the engine in /usr/lib/games/brevalt
# find the data folder (CMakeLists.txt).
set(BREVALT_DEB_BOOK_DATA ${brevalt_rel})
file(RELATIVE_PATH BREVALT_DEB_ENGINE_DATA "/usr/${BREVALT_DEB_ENGINE_DIR}" "/usr/${BREVALT_DEB_DATA_DIR}")

# Man pages and the Debian changelog, compressed as Debian wants them: at
# the highest level, without a name or time stamp in the header, so that
# the same sources give the same bytes.
set(brevalt_deb_gz "")
foreach(pair IN ITEMS "tools/install/man/brevalt.6|brevalt.6.gz"
                      "tools/install/man/brevalt-book.6|brevalt-book.6.gz"
                      "tools/debian/changelog|changelog.Debian.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  add_custom_command(
    OUTPUT ${brevalt_deb_out}/${to}
    COMMAND sh -c "\"$0\" -9 -n -c \"$1\" >\"$2\"" ${BREVALT_GZIP} ${CMAKE_SOURCE_DIR}/${from} ${brevalt_deb_out}/${to}
    DEPENDS ${CMAKE_SOURCE_DIR}/${from}
    VERBATIM)
  list(APPEND brevalt_deb_gz ${brevalt_deb_out}/${to})
endforeach()
add_custom_target(debian-files ALL DEPENDS ${brevalt_deb_gz})

# Folders made by the installation are world-readable whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS brevalt RUNTIME DESTINATION ${BREVALT_DEB_ENGINE_DIR} COMPONENT debian EXCLUDE_FROM_ALL)
install(TARGETS brevalt-book RUNTIME DESTINATION ${BREVALT_DEB_BINDIR} COMPONENT debian EXCLUDE_FROM_ALL)
install(PROGRAMS ${brevalt_deb_out}/brevalt DESTINATION ${BREVALT_DEB_BINDIR} COMPONENT debian EXCLUDE_FROM_ALL)
# The engine's data files, as the plain installation ships them; the
# suites' licences and sources go to the documentation and the copyright
# file instead.
install(FILES ${CMAKE_SOURCE_DIR}/data/MoveFile ${CMAKE_SOURCE_DIR}/data/hash_values
              ${CMAKE_SOURCE_DIR}/data/Brevalt.ini ${BREVALT_SUITES}
        DESTINATION ${BREVALT_DEB_DATA_DIR} COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/data/book_normal.bin DESTINATION ${BREVALT_DEB_DATA_DIR}
        COMPONENT debian EXCLUDE_FROM_ALL OPTIONAL)
# brevalt.eng: xboard's engine-file header line (xboard checks it before it
# reads the rest, as in every engine's file there), the command, the variant.
install(FILES ${CMAKE_SOURCE_DIR}/tools/debian/brevalt.eng DESTINATION ${BREVALT_DEB_XBOARD_DIR}
        COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${brevalt_deb_out}/brevalt.6.gz ${brevalt_deb_out}/brevalt-book.6.gz
        DESTINATION ${BREVALT_DEB_MAN_DIR} COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/tools/debian/copyright ${brevalt_deb_out}/changelog.Debian.gz
              ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/data/TEST_SUITES.md
        DESTINATION ${BREVALT_DEB_DOC_DIR} COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/data/pgn/README.md ${CMAKE_SOURCE_DIR}/data/pgn/TCEC_README_with_license.md
        DESTINATION ${BREVALT_DEB_DOC_DIR}/book COMPONENT debian EXCLUDE_FROM_ALL)

# The package. CPack installs the "debian" component alone (the project
# entry's third field), under /usr.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};debian;/")
# "cpack" alone makes the Debian package too; no other generator is set up.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brevalt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Brevalt developers")
set(CPACK_PACKAGE_CONTACT "Brevalt maintainers <maintainers@users.noreply.c-seed-dba0b362.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "chess engine for xboard and other chess interfaces
Brevalt is a chess engine without a window of its own: a chess interface
such as xboard, or a match runner such as cutechess-cli, starts it and
talks to it over standard input and output in the chess engine
communication protocol (CECP, the xboard protocol), or in UCI when the
interface's first command is 'uci'.
.
The package registers the engine with xboard, and ships its opening book,
built from TCEC engine games and human master games, the classic EPD test
suites of its built-in test command, and brevalt-book, a tool that builds
and inspects opening books.")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xboard | polyglot")
# The library dependencies are worked out from the programs by
# dpkg-shlibdeps (package dpkg-dev); without it they are named here.
find_program(BREVALT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(BREVALT_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.0), liblzma5 (>= 5.1.1alpha+20120614), libstdc++6 (>= 12)")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
