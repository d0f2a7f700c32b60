# Tests of the Windows build: GoogleTest built from Debian's sources with the cross compiler,
# and test_windows, which runs under wine (tests/scripts/windows_unit_tests.sh). It holds the
# profile tests shared with the POSIX build (tests/platform/profile/ProfileTest.cpp) and the Windows
# backend's tests in tests/platform/win32/.
set(ARKEVEN_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${ARKEVEN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Wine knows no USB disks: tests/platform/win32/sticks/ holds the stand-ins that answer for them,
# installed in every executable they are linked into.
set(WINDOWS_TEST_STICKS ${CMAKE_SOURCE_DIR}/tests/platform/win32/sticks/TestSticks.cpp)

file(GLOB WINDOWS_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/platform/win32/*.cpp)
add_executable(test_windows ${CMAKE_SOURCE_DIR}/tests/platform/profile/ProfileTest.cpp ${WINDOWS_TEST_SOURCES}
  ${WINDOWS_TEST_STICKS})
target_include_directories(test_windows PRIVATE ${CMAKE_SOURCE_DIR}/tests/platform/win32)
target_link_libraries(test_windows PRIVATE arkeven_platform gtest gtest_main gmock user32)
target_compile_definitions(test_windows PRIVATE
  ARKEVEN_SOURCE_DIR="${CMAKE_SOURCE_DIR}" ARKEVEN_BINARY_DIR="${CMAKE_BINARY_DIR}")
add_test(NAME test_windows COMMAND test_windows)
set_tests_properties(test_windows PROPERTIES LABELS windows TIMEOUT 120)

# Stand-ins for what wine lacks, built beside test_windows.exe; tests/scripts/lib/wine.sh
# puts fmifs.dll into the prefix's system folder (the format trampolines and the stick job run
# against it) and syslinux.exe into the CD tree's syslinux folder.
add_library(fake_fmifs SHARED ${CMAKE_SOURCE_DIR}/tests/platform/win32/fmifs/FakeFmifs.cpp)
set_target_properties(fake_fmifs PROPERTIES OUTPUT_NAME fmifs PREFIX "" RUNTIME_OUTPUT_DIRECTORY $<TARGET_FILE_DIR:test_windows>)
target_link_options(fake_fmifs PRIVATE -static -static-libgcc -static-libstdc++)
add_dependencies(test_windows fake_fmifs)

add_executable(fake_syslinux ${CMAKE_SOURCE_DIR}/tests/platform/win32/syslinux/FakeSyslinux.cpp)
set_target_properties(fake_syslinux PROPERTIES OUTPUT_NAME syslinux RUNTIME_OUTPUT_DIRECTORY $<TARGET_FILE_DIR:test_windows>)
target_link_options(fake_syslinux PRIVATE -municode -static -static-libgcc -static-libstdc++)
add_dependencies(test_windows fake_syslinux)

# A screen reader's client of the launcher's Active Accessibility objects, run under wine by
# tests/scripts/windows_launcher.sh.
add_executable(accessibility_client ${CMAKE_SOURCE_DIR}/tests/platform/win32/accessibility/AccessibilityClient.cpp)
set_target_properties(accessibility_client PROPERTIES OUTPUT_NAME AccessibilityClient RUNTIME_OUTPUT_DIRECTORY $<TARGET_FILE_DIR:test_windows>)
target_compile_definitions(accessibility_client PRIVATE UNICODE _UNICODE)
target_link_options(accessibility_client PRIVATE -municode -static -static-libgcc -static-libstdc++)
target_link_libraries(accessibility_client PRIVATE ole32 oleaut32 uuid oleacc)
add_dependencies(test_windows accessibility_client)

# The program as the Windows tests run it: Arkeven.exe and Arkeven.com from the same sources and
# resources, with the USB stand-ins linked in, under tests/standins/; tests/scripts/lib/wine.sh
# puts them on the CD copy the tests use. The program on the CD has no stand-ins.
set(ARKEVEN_WINDOWS_RESOURCES ${CMAKE_BINARY_DIR}/resources/windows)
foreach(twin exe com)
  if(twin STREQUAL exe)
    set(standins arkeven_standins)
    set(resource ${ARKEVEN_WINDOWS_RESOURCES}/Arkeven.rc)
  else()
    set(standins arkeven_console_standins)
    set(resource ${ARKEVEN_WINDOWS_RESOURCES}/ArkevenConsole.rc)
  endif()
  add_executable(${standins} ${CMAKE_SOURCE_DIR}/app/main.cpp ${CMAKE_SOURCE_DIR}/app/windows/WideMain.cpp ${resource}
    ${WINDOWS_TEST_STICKS})
  target_include_directories(${standins} PRIVATE ${CMAKE_SOURCE_DIR}/tests/platform/win32)
  target_link_libraries(${standins} PRIVATE arkeven_program)
  set_target_properties(${standins} PROPERTIES OUTPUT_NAME Arkeven SUFFIX .${twin}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/standins)
  add_dependencies(${standins} windows_icon)
  add_dependencies(test_windows ${standins})
endforeach()
target_link_options(arkeven_standins PRIVATE -municode -mwindows)
target_compile_definitions(arkeven_console_standins PRIVATE ARKEVEN_CONSOLE_TWIN)
target_link_options(arkeven_console_standins PRIVATE -municode)
