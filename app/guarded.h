#pragma once

#include <mutex>
#include <utility>

// A value that one thread writes while another reads it. Qt's implicitly shared types
// (QString, QDateTime) are not safe to assign and copy concurrently, so every access copies
// under a lock. Reads hand out a copy; nothing refers into the guarded value.
template <typename T> class Guarded
{
public:
    Guarded() = default;
    Guarded(T initial) : value(std::move(initial)) {}
    Guarded(const Guarded &) = delete;
    Guarded &operator=(const Guarded &other)
    {
        set(other.get());
        return *this;
    }

    Guarded &operator=(T next)
    {
        set(std::move(next));
        return *this;
    }

    T get() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return value;
    }

    void set(T next)
    {
        std::lock_guard<std::mutex> lock(mutex);
        value = std::move(next);
    }

    operator T() const { return get(); }

    bool isEmpty() const { return get().isEmpty(); }

    template <typename U> bool operator==(const U &other) const { return get() == other; }
    template <typename U> bool operator!=(const U &other) const { return get() != other; }

private:
    mutable std::mutex mutex;
    T value{};
};
