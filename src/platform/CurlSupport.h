#pragma once

// What the libcurl clients share: the one-time library start-up, and the
// pump that keeps the windows painted while a transfer blocks the
// user-interface thread.
namespace CurlSupport {

void initialise();
// Processes pending window messages (user input excluded) when called on
// the user-interface thread; does nothing elsewhere.
void pumpWindowMessages();

} // namespace CurlSupport
