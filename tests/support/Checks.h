// Small checks the test folders share: the answers a test queues for the
// questions a view or a host asks, and the message of an error an action raises.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>

namespace quillock::tests {

// The next queued answer, taken off the queue; a question no answer was
// queued for fails the test with the text unexpected and gets none.
template <typename T> T NextAnswer(std::deque<T>& answers, T none, const std::string& unexpected) {
    if (answers.empty()) {
        ADD_FAILURE() << unexpected;
        return none;
    }
    T answer = std::move(answers.front());
    answers.pop_front();
    return answer;
}

// The message of the TError that action raises ("" when none).
template <class TError, class TAction> std::string ErrorText(TAction action) {
    try {
        action();
    } catch (const TError& error) {
        return error.what();
    }
    return "";
}

} // namespace quillock::tests
