#pragma once

// The subscriber half of the subject-based publishers: the client implements
// IUpdate1<T> and registers it through the publisher's ISubject operations.


// Called by a publisher with its current value. The reference is valid only for
// the duration of the call. Runs with the publisher's locks held: must not call
// Attach or Detach of the same publisher, and should return quickly.
template <class T>
struct IUpdate1 {
    virtual void Update(const T& value) = 0;
};

template <class Observer>
struct ISubject {
    // Registers `subscriber` (ignored when null or already registered) and hands
    // it the current value at once, on the calling thread.
    virtual void Attach(Observer* subscriber) = 0;
    // After Detach returns, `subscriber` receives no further call.
    virtual void Detach(Observer* subscriber) = 0;
};
