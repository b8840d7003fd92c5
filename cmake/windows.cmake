# What differs when the project is built for Windows with mingw-w64 (cmake/mingw-w64.cmake).

# The C++ runtime, libgcc and the thread library go into every DLL and program, so that they
# need nothing beside them but Windows' own DLLs.
add_link_options(-static)

# libxml2 and muparser are built as static archives, whose declarations must not ask for a DLL
# import.
add_compile_definitions(LIBXML_STATIC MUPARSER_STATIC)

# Inside the project texts are char16_t on Windows as well; the header gives hosts wchar_t
# unless they ask for the same (the same 16-bit UTF-16 unit either way).
add_compile_definitions(TARVIK_MF4_CHAR16)

# MD5 of attachments comes from Windows' own cryptographic service.
set(TARVIK_MD5_LIBRARY bcrypt)

if(TARVIK_BUILD_TESTS)
  # GoogleTest from Debian's sources, built for Windows with the project.
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

# CLI11 is headers only: the Linux package's serve, copied apart from the Linux system headers
# they lie among.
if(TARVIK_BUILD_TOOLS)
  file(COPY /usr/include/CLI DESTINATION ${CMAKE_BINARY_DIR}/cli11)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  target_include_directories(CLI11::CLI11 INTERFACE ${CMAKE_BINARY_DIR}/cli11)
endif()

# The test programs run under Wine, in a Wine prefix of the build's own; a running wineserver
# makes each start take a fraction of a second.
if(CMAKE_CROSSCOMPILING AND TARVIK_WINE)
  set(TARVIK_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE @ONLY)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()
