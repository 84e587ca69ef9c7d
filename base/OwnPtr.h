#pragma once

#include <concepts>
#include <type_traits>
#include <utility>

// The one owner of a heap object: deletes it when the owner goes or takes
// another object, so nothing that replaces an object can forget the old one.
template<typename T>
class OwnPtr {
public:
    OwnPtr() = default;
    OwnPtr(OwnPtr&& other)
        : m_pointer(other.m_pointer)
    {
        other.m_pointer = nullptr;
    }
    OwnPtr& operator=(OwnPtr&& other)
    {
        if (this != &other) {
            clear();
            m_pointer = other.m_pointer;
            other.m_pointer = nullptr;
        }
        return *this;
    }
    // An owner of a derived object becomes an owner of its base.
    template<std::derived_from<T> U>
    OwnPtr(OwnPtr<U>&& other)
        : m_pointer(other.leak_ptr())
    {
    }
    OwnPtr(OwnPtr const&) = delete;
    OwnPtr& operator=(OwnPtr const&) = delete;
    ~OwnPtr() { clear(); }

    void clear()
    {
        T* old = m_pointer;
        m_pointer = nullptr;
        delete old;
    }

    T* ptr() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    T& operator*() const { return *m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

    // Gives the object up without deleting it, to a new owner.
    [[nodiscard]] T* leak_ptr()
    {
        T* pointer = m_pointer;
        m_pointer = nullptr;
        return pointer;
    }

    // Takes sole ownership of a fresh object.
    static OwnPtr adopt(T* pointer)
    {
        OwnPtr owner;
        owner.m_pointer = pointer;
        return owner;
    }

private:
    T* m_pointer { nullptr };
};

template<typename T, typename... Args>
OwnPtr<T> make_own(Args&&... args)
{
    return OwnPtr<T>::adopt(new T(std::forward<Args>(args)...));
}
