// Ctrl-C (and SIGTERM and SIGHUP alike). By default it ends the command at once, as for any program; a download killed that
// way never reaches the erase that follows its transfer, so the terminal keeps its records.
// A command that has a sound stopping point of its own asks for the first Ctrl-C as a request
// instead; a second one still ends it at once.
#pragma once

namespace movar::cli {

enum class InterruptMeaning {
  EndAtOnce,       // the default meaning (after the progress line is cleared)
  FinishThenStop,  // the first Ctrl-C is a request (interruptRequested()), the second ends
};

void handleInterrupts(InterruptMeaning meaning);

// A closed standard output or socket is a failed write (EPIPE), said and handled where it
// happens, never a signal that ends the process between taking a record and keeping it.
void ignoreBrokenPipes();
bool interruptRequested();

// Set while a progress line is on standard error, so that an interrupt clears it first.
void setProgressLineShown(bool shown);

}  // namespace movar::cli
