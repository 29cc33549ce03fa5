// Threads that outlive the job they ran: a file-access thread parks when its
// record closes and serves the next record that opens, so opening a file with
// read-ahead or asynchronous reads costs a hand-over instead of a thread start
// (which under the sanitizers is dearer than the whole open).
#pragma once

namespace velox::file {

// Runs body(arg) on a parked thread, or on a new one when every parked thread
// is taken. The body tells its owner itself when it is done; after it returns
// the thread never touches `arg` again. False when no thread could start.
bool RunOnParkedThread(void (*body)(void*), void* arg);

} // namespace velox::file
