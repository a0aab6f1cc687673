// A record of what the application and window objects are asked to do, in order, so
// that the order of start-up can be checked. Nothing is kept unless a recorder is set.
#pragma once

#include <string>
#include <vector>

namespace tovanel {

// Adds `event` to the recorder, if one is set.
void journal(const std::string& event);

// While alive, collects every journal event of the process.
class JournalRecorder {
 public:
  JournalRecorder();
  ~JournalRecorder();
  JournalRecorder(const JournalRecorder&) = delete;
  JournalRecorder& operator=(const JournalRecorder&) = delete;

  std::vector<std::string> events;

 private:
  JournalRecorder* previous_;
};

}  // namespace tovanel
