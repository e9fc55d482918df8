#pragma once

namespace zorvane::shell {

// Writes the identity banner (name, purpose, version, legal lines) on the
// standard error stream, translated for the current locale.
void printBanner();

}  // namespace zorvane::shell
