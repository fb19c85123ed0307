#pragma once

#include <utility>

class ContentView;

// Receives the announcement that some window state changed.
class Announcer {
public:
    virtual void announce() = 0;

protected:
    ~Announcer() = default;
};

// One piece of the main window's state. Anybody may read it; only ContentView writes it, and a
// write that changes the value announces the change, so the widgets always show the state.
template <typename T> class Announced {
public:
    Announced(Announcer& owner, T initial)
        : m_owner(owner)
        , m_value(std::move(initial)) {}
    Announced(const Announced&) = delete;
    Announced& operator=(const Announced&) = delete;

    const T& operator()() const { return m_value; }

private:
    friend class ContentView;
    Announced& operator=(T value) {
        if (!(m_value == value)) {
            m_value = std::move(value);
            m_owner.announce();
        }
        return *this;
    }

    Announcer& m_owner;
    T m_value;
};
