# The tests of the Windows build, run under Wine (scripts/test-windows): what
# of the suite concerns the system the gate runs on. The port layer's
# contract, on a sim line and on a COM pair Wine maps to the two ends of one
# pseudo-terminal link (KESTREL_TEST_COM_PAIR); the library through its
# exports; and gate_host, which the Linux end-to-end tests start under Wine
# to make a Windows gate talk to a Linux one. The rest of the suite tests
# code that is the same on both systems and runs on Linux.
add_library(kestrel_testkit STATIC kit/CoreSpy.cpp kit/LoggingCore.cpp kit/FakeGate.cpp kit/Blocks.cpp
                                   kit/SimFarEnd.cpp kit/SystemFarEnd_${KESTREL_OS}.cpp)
target_link_libraries(kestrel_testkit PUBLIC kestrel_options kestrel_common kestrel_store kestrel_platform
                                             kestrel_platform_programs Heron GTest::gtest)
add_library(kestrel_testkit_forms STATIC kit/forms/Operator.cpp kit/forms/QtAbsent.cpp)
target_link_libraries(kestrel_testkit_forms PUBLIC kestrel_options kestrel_forms GTest::gtest)

kestrel_add_test(test_platform
  SOURCES platform/CheckTest.cpp platform/Cp1251Test.cpp platform/ThreadTest.cpp platform/PortContractTest.cpp
  DEPS kestrel_platform kestrel_testkit)

kestrel_add_test(test_gate
  SOURCES gate/ExportsTest.cpp gate/EditExportsTest.cpp
  DEPS kestrel_tool_host kestrel_testkit kestrel_testkit_forms kestrel_host)
target_compile_definitions(test_gate PRIVATE KESTREL_LIBRARY_PATH="$<TARGET_FILE:Kestrel>")
add_dependencies(test_gate Kestrel)

add_executable(gate_host e2e/GateHost.cpp e2e/HostBlocks.cpp e2e/Payload.cpp)
target_link_libraries(gate_host PRIVATE kestrel_options kestrel_tool_host kestrel_store kestrel_platform_programs)
add_dependencies(gate_host Kestrel)
