#include "sim/EventText.h"

namespace kestrel::sim {

std::string EventText(const TExchangeEvent& event, const std::string& who) {
  using K = TExchangeEvent::TKind;
  switch (event.kind) {
    case K::kDial: return who + " dials " + event.text;
    case K::kRing: return who + " RING";
    case K::kAnswer: return who + " answers";
    case K::kResult: return who + " " + event.text;
    case K::kHangUp: return who + " hangs up";
    case K::kDtr: return who + " DTR " + event.text;
    case K::kCarrierDrop: return who + " carrier dropped";
  }
  return who;
}

}  // namespace kestrel::sim
