#pragma once
// The command's standard output and standard error. Everything it prints goes
// through them, a line at a time in one write() each, under one lock: lines of two
// threads never mix. A run that is being stopped silences them, so nothing but its
// last line is printed, and that line never waits on a stalled reader.

#include <streambuf>
#include <string_view>

namespace cohortix::app {

// Puts the locked streams under std::cout and std::cerr while it lives. A reader
// that went away (a closed pipe) is reported once on the standard error; the
// output is dropped from then on and the run goes on.
class OutputStreams {
 public:
  OutputStreams();
  ~OutputStreams();
  OutputStreams(const OutputStreams&) = delete;
  OutputStreams& operator=(const OutputStreams&) = delete;

 private:
  std::streambuf* previousOutput_;
  std::streambuf* previousError_;
};

// Whether anything printed on the standard output could not be written (a full
// disk, a reader that went away); said once on the standard error when it happened.
bool standardOutputFailed();

// Drops everything printed from now on, once any line being printed is out (or
// after a moment, when its reader does not take it).
void silenceOutput();

// Writes the line to the standard error in one write(), if the standard error can
// take it within a moment: for the last line of a process about to end.
void writeLastLine(std::string_view line);

}  // namespace cohortix::app
