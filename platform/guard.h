#pragma once
// Handlers that may throw are run through Guarded, so that no exception
// unwinds through Qt's signal or event frames (Qt does not support that, and
// what those frames hold would leak): it is caught at the handler's edge and
// shown in the error box, as the application object would, and the event
// loop goes on.

#include <exception>
#include <stdexcept>
#include <utility>

#include "platform/msgbox.h"

template <typename F>
void Guarded(F&& handler) noexcept
{
    try {
        std::forward<F>(handler)();
    } catch (const std::exception& e) {
        ShowExceptionBox(e);
    } catch (...) {
        ShowExceptionBox(std::runtime_error("Unknown error"));
    }
}

// A slot for connect() that runs member function f of object through Guarded.
template <typename T, typename... Args>
auto GuardedSlot(T* object, void (T::*f)(Args...))
{
    return [object, f](Args... args) { Guarded([&] { (object->*f)(args...); }); };
}
