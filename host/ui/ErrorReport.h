#pragma once
// The application's one report of a failure: a message box with the error text.
#include <exception>

namespace ErrorReport {

void report(const std::exception& error);
void reportUnknown();

// A handler connected to a control or an event: a failure is reported and the
// form stays as it was. Catching it here keeps it from unwinding through Qt's
// own event dispatch, which is not written for exceptions.
template <class Handler> auto guarded(Handler handler)
{
    return [handler](auto&&...) {
        try {
            handler();
        } catch (const std::exception& error) {
            report(error);
        } catch (...) {
            reportUnknown();
        }
    };
}

} // namespace ErrorReport
