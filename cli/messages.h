// The tool's messages on stderr, one line each, prefixed with its name and
// a level ("fxrender: warning: ..."), from any thread. A progress line on
// the terminal is cleared first (it redraws itself on its next advance).
#pragma once

#include <string>

class ProgressLine;

namespace messages {

// The progress line to clear before each message, or null.
void setProgressLine(ProgressLine* line);

void error(const std::string& text);
void warning(const std::string& text);
void note(const std::string& text);
// A line without a level: summaries.
void plain(const std::string& text);

}  // namespace messages
