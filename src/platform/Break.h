#pragma once
// The console break (Ctrl-C): instead of ending the program at once, it prints "Break" and is
// counted, so that the program can end the song it plays and close its output as it should.
// A second break ends the program the way the signal did before (files being written are
// removed, see PendingFile.h).

namespace svt::platform {

// From now on Ctrl-C (SIGINT) is counted. Nothing when the program was started with the
// signal ignored.
void installBreakHandler();
// Breaks counted since the handler was installed.
int breakCount();

}  // namespace svt::platform
