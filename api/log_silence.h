// ACE logging is off on every thread that runs library code.
#pragma once

namespace vkt {

// Turns ACE logging off for the calling thread (every time it is called).
void SilenceAceLogging();
// The same, once per thread: called on entry of every export.
void SilenceAceLoggingOnce();

}  // namespace vkt
