#include "sim/ModemProfile.h"

namespace kestrel::sim {

TModemProfile TModemProfile::Factory() {
  TModemProfile p;
  p.s.fill(0);
  p.s[0] = 0;    // no automatic answer
  p.s[2] = '+';  // escape character
  p.s[3] = '\r';
  p.s[4] = '\n';
  p.s[5] = 8;    // backspace
  p.s[6] = 2;    // seconds to wait for dial tone
  p.s[7] = 50;   // seconds to wait for carrier
  p.s[8] = 2;    // seconds of a comma pause
  p.s[9] = 6;    // carrier detect response time, 1/10 s
  p.s[10] = 14;  // carrier loss before hang-up, 1/10 s
  p.s[11] = 95;  // tone duration, ms
  p.s[12] = 50;  // escape guard time, 1/50 s
  return p;
}

}  // namespace kestrel::sim
