# Fails when LIBRARY holds any of the platform utilities that only the
# programs, the simulator and the tests use (child processes, terminals, stop
# signals, shared libraries, the process environment, pseudo-terminals).
execute_process(COMMAND nm -C ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
set(pattern "kestrel::platform::(TChildProcess|TStopNotifier|TSharedLibrary|TPtyLine|TPtyPeer|IsTerminal|TerminalColumns|BlockStopSignals|WaitStopSignal|SetEnvironmentVariable|ExecutablePath|ProcessId|IgnoreBrokenPipes|IsExecutable)")
string(REGEX MATCHALL "[^\n]*${pattern}[^\n]*" found "${out}")
if(found)
  string(REPLACE ";" "\n  " found "${found}")
  message(FATAL_ERROR "${LIBRARY} holds the programs' utilities:\n  ${found}")
endif()
