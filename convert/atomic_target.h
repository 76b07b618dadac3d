// A target that appears complete or not at all: writers write a temporary file beside it, which
// replaces the target only when the write succeeded. An existing target is never damaged.
#pragma once

#include <string>

class AtomicTarget {
  public:
    AtomicTarget() = default;
    AtomicTarget(const AtomicTarget&) = delete;
    AtomicTarget& operator=(const AtomicTarget&) = delete;
    ~AtomicTarget() { Discard(); }

    // Makes a private folder in target's folder for the writer's temporary file; false when
    // that folder cannot take it.
    bool Prepare(const char* target);
    const char* GetWritePath() const { return direct ? target.c_str() : temporary.c_str(); }
    // Renames the temporary file over the target; false (and the temporary removed) on failure.
    bool Commit();
    void Discard();

  private:
    std::string target;
    std::string workFolder;  // holds the temporary file, removed with it
    std::string temporary;
    bool direct = false;  // the target is a device or pipe, written in place
};
