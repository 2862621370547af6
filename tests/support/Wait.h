#pragma once

#include "support/Printers.h"

#include <QCoroTask>
#include <chrono>
#include <functional>

// Runs the event loop until `done` holds or `timeout` passes; returns whether it held.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Runs the event loop until the task has finished and returns its result.
template <typename T> T await(QCoro::Task<T>&& task) {
    return QCoro::waitFor(std::move(task));
}
