#include "shell/journal.h"

namespace tovanel {
namespace {

JournalRecorder* current = nullptr;

}  // namespace

void journal(const std::string& event) {
  if (current)
    current->events.push_back(event);
}

JournalRecorder::JournalRecorder() : previous_(current) {
  current = this;
}

JournalRecorder::~JournalRecorder() {
  current = previous_;
}

}  // namespace tovanel
