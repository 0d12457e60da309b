// Runs an event handler so that no exception reaches the backend's event
// loop: an exception is shown to the operator in an error box with its
// message, and the event ends there.
#pragma once

#include <functional>

namespace kestrel::forms {

void RunGuarded(const std::function<void()>& handler) noexcept;

}  // namespace kestrel::forms
