// Exchange timings for tests: a call connects in some 50 ms, rings come
// every half second, bytes cross at 115 200 bit/s with 5 ms of latency.
#pragma once

#include "sim/Exchange.h"

namespace kestrel::sim::testing {

inline TExchangeOptions QuickExchange() {
  TExchangeOptions o;
  o.dial_ms = 20;
  o.handshake_ms = 30;
  o.latency_ms = 5;
  o.ring_on_ms = 200;
  o.ring_off_ms = 300;
  o.rate = 115200;
  return o;
}

}  // namespace kestrel::sim::testing
