#include "app/worker_threads.h"

#include <utility>

void WorkerThreads::Start(std::function<void()> routine) {
    JoinFinished();
    auto finished = std::make_shared<bool>(false);
    std::lock_guard<std::mutex> guard(lock);
    workers.push_back(Worker{std::thread([this, finished, routine = std::move(routine)] {
                                 routine();
                                 std::lock_guard<std::mutex> done(lock);
                                 *finished = true;
                             }),
                             finished});
}

void WorkerThreads::JoinFinished() {
    std::list<Worker> ended;
    {
        std::lock_guard<std::mutex> guard(lock);
        for (auto it = workers.begin(); it != workers.end();) {
            auto next = std::next(it);
            if (*it->finished) ended.splice(ended.end(), workers, it);
            it = next;
        }
    }
    for (Worker& worker : ended) worker.thread.join();
}

void WorkerThreads::JoinAll() {
    for (;;) {
        std::list<Worker> running;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (workers.empty()) return;
            running.swap(workers);
        }
        for (Worker& worker : running) worker.thread.join();
    }
}
