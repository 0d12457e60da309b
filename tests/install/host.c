/*
 * A host program of an installed gate, as a host developer writes one: it
 * links the gate and its core through the installed package (CMake's
 * find_package(Kestrel) or pkg-config kestrel), installs a core handler, and
 * asks the gate for the view text of no address. Prints the text; exits 0
 * when it is "Address not exist". scripts/check-install builds and runs it.
 */
#include <heron.h>
#include <kestrel/kestrel.h>
#include <kestrel/version.h>
#include <stdio.h>
#include <string.h>

static KBool PrintError(void* ctx, int32_t kind, int16_t gate_code, const char* text, const char* details) {
  (void)ctx;
  (void)gate_code;
  if (kind == 1) fprintf(stderr, "gate error: %s | %s\n", text, details != NULL ? details : "");
  return 1;
}

int main(void) {
  char text[256];
  int32_t length = 0;
  HeronSetGateInfo(PrintError, NULL);
  if (!ViewAddrGate(NULL, 0, 0, &length) || length <= 0 || length > (int32_t)sizeof text || !GetViewStr(text)) {
    fprintf(stderr, "host: the gate gave no view text\n");
    return 1;
  }
  printf("Kestrel %s: %s\n", KESTREL_VERSION, text);
  StopTransmit(0);
  return strcmp(text, "Address not exist") == 0 ? 0 : 1;
}
