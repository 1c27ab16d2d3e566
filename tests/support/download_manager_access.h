#pragma once
// The download manager's seams for tests, and only for tests: the product
// never reaches into the manager this way.

#include <memory>
#include <mutex>

#include "download/download_manager.h"

struct DownloadManagerTestAccess {
    // Puts a hand-made task into the map (replacing one with its id).
    static void addTask(const std::shared_ptr<Task>& task)
    {
        DownloadManager& manager = DownloadManager::instance();
        std::lock_guard<std::mutex> guard(manager.lock);
        manager.tasks[task->id] = task;
    }
    // Takes a task out of the map whatever its state, as if the program had
    // ended: its worker must be over.
    static void forget(int32_t id)
    {
        DownloadManager& manager = DownloadManager::instance();
        std::lock_guard<std::mutex> guard(manager.lock);
        manager.tasks.erase(id);
    }
    // Length of one step of the probe and retry waits (100 ms normally); the
    // number of steps and the cancel check before each step stay as they are.
    static void setWaitStep(int milliseconds) { DownloadManager::instance().waitStepMs = milliseconds; }
    // Engine requests in flight right now.
    static int activeRequests()
    {
        return DownloadManager::instance().gate.active();
    }
};
