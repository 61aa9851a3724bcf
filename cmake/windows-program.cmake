# The Windows program: the Win32 shell of src/win over the core, one statically linked
# probe-server-dump.exe that needs nothing but the system's own DLLs.
enable_language(RC)

file(GLOB TAVRIC_WIN_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/win/*.cpp)
list(FILTER TAVRIC_WIN_SOURCES EXCLUDE REGEX ".*/main\\.cpp$")
add_library(tavric_win STATIC ${TAVRIC_WIN_SOURCES})
# Windows 10 is the oldest system served: its DPI functions are called directly.
target_compile_definitions(tavric_win PUBLIC UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0A00
                                             WINVER=0x0A00)
target_link_libraries(tavric_win PUBLIC tavric_core gdiplus comctl32 shell32 ole32 advapi32 setupapi bcrypt
                                        user32 gdi32 kernel32)

set(TAVRIC_MANIFEST ${CMAKE_CURRENT_SOURCE_DIR}/packaging/windows/probe-server-dump.manifest)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/packaging/windows/probe-server-dump.rc.in
               ${CMAKE_CURRENT_BINARY_DIR}/probe-server-dump.rc @ONLY)
add_executable(probe-server-dump WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/src/win/main.cpp
                                       ${CMAKE_CURRENT_BINARY_DIR}/probe-server-dump.rc)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/probe-server-dump.rc PROPERTIES
                            OBJECT_DEPENDS ${TAVRIC_MANIFEST})
target_link_libraries(probe-server-dump PRIVATE tavric_win)
# The shipped program carries no symbols: a third of its size.
target_link_options(probe-server-dump PRIVATE $<$<CONFIG:Release>:-s>)

# cpack: a .zip with the program, the README and the licence, side by side.
install(TARGETS probe-server-dump RUNTIME DESTINATION .)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE.txt
        DESTINATION .)
set(CPACK_SYSTEM_NAME windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
