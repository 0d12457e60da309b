# The tests of the Windows build, run under Wine (scripts/test-windows): what
# of the suite concerns the system the gate runs on. The system's
# cryptography, against the same published vectors as on Linux; the port
# layer's contract, on a sim line and on a COM pair Wine maps to the two ends
# of one pseudo-terminal link (KESTREL_TEST_COM_PAIR); the library through its
# exports (its dialogs included), and its unload; the forms layer and the
# dialogs on the Win32 backend, driven by the same scripts as on Qt; and
# gate_host, which the Linux end-to-end tests start under Wine to make a
# Windows gate talk to a Linux one. The rest of the suite tests code that is
# the same on both systems, on Linux. The programs that use the one COM pair
# or the one display take it as a resource lock, so that `ctest -j` runs
# them one at a time.
add_library(kestrel_testkit STATIC kit/LoggingCore.cpp kit/SystemFarEnd_${KESTREL_OS}.cpp)
target_link_libraries(kestrel_testkit PUBLIC kestrel_options kestrel_common kestrel_store kestrel_platform
                                             kestrel_platform_programs Heron GTest::gtest)
add_library(kestrel_testkit_forms STATIC kit/forms/Operator.cpp kit/forms/Win32Operator.cpp)
target_link_libraries(kestrel_testkit_forms PUBLIC kestrel_options kestrel_forms GTest::gtest comctl32 gdiplus gdi32
                                                   user32)
add_dependencies(kestrel_testkit_forms KestrelFormsWin32)

kestrel_add_test(test_platform
  SOURCES platform/CheckTest.cpp platform/Cp1251Test.cpp platform/CryptoTest.cpp platform/ThreadTest.cpp
          platform/PortContractTest.cpp platform/SimLineTest.cpp
  DEPS kestrel_platform kestrel_testkit
  LOCK com_pair)

# The forms tests on the Win32 backend, one run of each program: every Wine
# start costs seconds, which a run per test would pay some forty times.
function(kestrel_add_forms_test name)
  cmake_parse_arguments(T "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE kestrel_options ${T_DEPS} kestrel_testkit_forms GTest::gtest GTest::gtest_main)
  add_test(NAME Win32Forms.${name} COMMAND ${name})
  set_tests_properties(Win32Forms.${name} PROPERTIES TIMEOUT 600 RESOURCE_LOCK display)
endfunction()
kestrel_add_forms_test(test_forms SOURCES platform/forms/FormsTest.cpp)
# The monitor window's own timer in an ordinary message loop.
kestrel_add_forms_test(test_host SOURCES host/MonitorFormTest.cpp DEPS kestrel_host_monitor kestrel_testkit)
kestrel_add_forms_test(test_ui
  SOURCES ui/ChannelDialogTest.cpp ui/ConnectionTestTest.cpp ui/ConnectionPorts_win32.cpp ui/OwnAddressDialogTest.cpp
          ui/RemoteAddressDialogTest.cpp
  DEPS kestrel_ui kestrel_testkit)
# Not a test: draws the Windows pictures of the README (scripts/screenshots win64).
add_executable(screenshots ui/Screenshots.cpp)
target_link_libraries(screenshots PRIVATE kestrel_options kestrel_ui kestrel_host_monitor kestrel_testkit
                                          kestrel_testkit_forms GTest::gtest GTest::gtest_main)

# The unload differs by design: Windows forbids waiting in it, so a running
# gate holds its library (gate/UnloadTest_win32.cpp) instead of ending.
add_executable(test_gate gate/ExportsTest.cpp gate/MonitorExportTest.cpp gate/UnloadTest_${KESTREL_OS}.cpp)
target_link_libraries(test_gate PRIVATE kestrel_options kestrel_tool_host kestrel_testkit kestrel_testkit_forms
                                        kestrel_host GTest::gtest GTest::gtest_main GTest::gmock)
target_compile_definitions(test_gate PRIVATE KESTREL_LIBRARY_PATH="$<TARGET_FILE:Kestrel>")
add_dependencies(test_gate Kestrel)
gtest_discover_tests(test_gate DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                     TEST_FILTER "-Exports.UnloadEndsRunningProcessesAndWritesNoGateLines"
                     PROPERTIES TIMEOUT 300 RESOURCE_LOCK display)

add_executable(gate_host e2e/GateHost.cpp e2e/HostBlocks.cpp e2e/Payload.cpp)
target_link_libraries(gate_host PRIVATE kestrel_options kestrel_tool_host kestrel_store kestrel_platform_programs)
add_dependencies(gate_host Kestrel)
