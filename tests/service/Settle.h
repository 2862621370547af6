#pragma once

#include "support/Wait.h"

#include <QCoroTask>
#include <exception>
#include <optional>
#include <variant>

// The end of a task: its value, or the exception it ended with. QCoro::waitFor alone never
// returns when the task throws, so tests run every fallible task through settle().
template <typename T> struct Outcome {
    std::optional<T> value;
    std::exception_ptr error;

    bool ok() const { return value.has_value(); }

    // The error as E, or nothing when the task succeeded or ended with another type.
    template <typename E> std::optional<E> errorAs() const {
        if (!error)
            return std::nullopt;
        try {
            std::rethrow_exception(error);
        } catch (const E& e) {
            return e;
        } catch (...) {
            return std::nullopt;
        }
    }
};

template <typename T> using ResultOf = std::conditional_t<std::is_void_v<T>, std::monostate, T>;

template <typename T> QCoro::Task<Outcome<ResultOf<T>>> capture(QCoro::Task<T> task) {
    Outcome<ResultOf<T>> outcome;
    try {
        if constexpr (std::is_void_v<T>) {
            co_await task;
            outcome.value = std::monostate{};
        } else {
            outcome.value = co_await task;
        }
    } catch (...) {
        outcome.error = std::current_exception();
    }
    co_return outcome;
}

// Runs the event loop until the task has ended.
template <typename T> Outcome<ResultOf<T>> settle(QCoro::Task<T>&& task) {
    return await(capture(std::move(task)));
}
