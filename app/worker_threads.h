// The window's worker threads. Callers start routines without keeping handles; the program
// waits for all of them once, when it ends, so that no conversion is cut off half-written.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

class WorkerThreads {
  public:
    WorkerThreads() = default;
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
    ~WorkerThreads() { JoinAll(); }

    void Start(std::function<void()> routine);
    // Returns when every routine started so far, and any they started, has ended.
    void JoinAll();

  private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<bool> finished;  // guarded by lock
    };
    void JoinFinished();

    std::mutex lock;
    std::list<Worker> workers;
};
