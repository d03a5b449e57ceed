// Ring array with power-of-two capacity that grows on indexed access.
#pragma once

#include <stdexcept>
#include <utility>

// Element i lives in slot (start + i) & (capacity - 1): element 0 need not be in slot 0,
// so elements can leave at the front (PopFront) without moving the others. The capacity
// is always a power of two (0 before the first allocation) so that the mask replaces a
// division. Storage is allocated with array new, every slot default-constructed.
//
// An array may also wrap storage it does not own (see the wrapping constructor): it then
// never releases that storage, and the first access beyond its size copies the elements
// into storage of its own.
template <class T>
class TARNArray {
  public:
    TARNArray() = default;
    // Wraps `capacity` slots (a power of two) holding `size` elements from slot `start`;
    // the array does not own them.
    TARNArray(T* storage, int capacity, int size, int start)
        : capacity(capacity), size(size), start(start), storage(storage), owns(false) {}
    // Copies the elements, in order, into storage of its own (start 0, same capacity).
    TARNArray(const TARNArray& other) { copyFrom(other); }
    TARNArray(TARNArray&& other) noexcept { takeFrom(other); }
    virtual ~TARNArray() { release(); }

    TARNArray& operator=(const TARNArray& other) {
        if (this != &other) {
            release();
            copyFrom(other);
        }
        return *this;
    }
    TARNArray& operator=(TARNArray&& other) noexcept {
        if (this != &other) {
            release();
            takeFrom(other);
        }
        return *this;
    }

    // Element i, growing the array when i lies beyond it: size becomes at least i + 1.
    // Slots between the old size and i keep whatever they held (default-constructed
    // values in fresh storage). A negative index throws std::out_of_range, one that no
    // capacity can hold std::length_error (see CapacityFor); the array is then unchanged.
    T& operator()(int i) {
        if (i < 0) throw std::out_of_range("TARNArray: negative index");
        if (owns && i < capacity) {
            if (i >= size) size = i + 1;
            return storage[slot(i)];
        }
        if (!owns && i < size) return storage[slot(i)];
        grow(CapacityFor(i));
        size = i + 1;
        return storage[i];
    }

    // Element i of 0..Size() - 1, without growth.
    T& operator[](int i) { return storage[slot(i)]; }
    const T& operator[](int i) const { return storage[slot(i)]; }

    // Appends a copy of the value, doubling the storage when it is full. The value may be
    // an element of this array (a.PushBack(a[0])): it is copied before growth releases
    // the storage it lives in. A full array of MaxCapacity elements throws
    // std::length_error and stays as it was.
    void PushBack(const T& value) {
        if (!owns || size >= capacity) {
            const int newCapacity = CapacityFor(size);
            T copy(value);
            grow(newCapacity);
            storage[size] = std::move(copy);
        } else {
            storage[slot(size)] = value;
        }
        ++size;
    }

    // Drops element 0: the next element becomes element 0 where it lies. The slot keeps
    // its value until it is reused. Nothing happens on an empty array.
    void PopFront() {
        if (size == 0) return;
        start = (start + 1) & (capacity - 1);
        --size;
    }

    // Forgets every element; the storage stays.
    void Clear() {
        size = 0;
        start = 0;
    }

    int Size() const { return size; }
    int Capacity() const { return capacity; }
    // Slot of element 0.
    int Start() const { return start; }
    bool OwnsStorage() const { return owns; }

    // The largest capacity: the largest power of two an int holds.
    static constexpr int MaxCapacity = 1 << 30;
    // The capacity growth chooses to hold element `index`: the smallest power of two
    // strictly greater than it. An index of MaxCapacity or more has none (doubling would
    // overflow the int), so it throws std::length_error before anything is allocated.
    static int CapacityFor(int index) {
        if (index >= MaxCapacity) throw std::length_error("TARNArray: no capacity holds that many elements");
        int powerOfTwo = 1;
        while (powerOfTwo <= index) powerOfTwo <<= 1;
        return powerOfTwo;
    }

  private:
    int slot(int i) const { return (start + i) & (capacity - 1); }

    // Moves to fresh storage of `newCapacity` slots: elements 0..size - 1 go to slots
    // 0..size - 1 in order, start becomes 0. Elements of owned storage are moved, those
    // of foreign storage copied, and only owned storage is released.
    void grow(int newCapacity) {
        T* fresh = new T[newCapacity];
        for (int i = 0; i < size; ++i) {
            if (owns)
                fresh[i] = std::move(storage[slot(i)]);
            else
                fresh[i] = storage[slot(i)];
        }
        release();
        storage = fresh;
        capacity = newCapacity;
        start = 0;
        owns = true;
    }

    void release() {
        if (owns) delete[] storage;
        storage = nullptr;
    }

    void copyFrom(const TARNArray& other) {
        capacity = other.capacity;
        size = other.size;
        start = 0;
        owns = true;
        storage = capacity > 0 ? new T[capacity] : nullptr;
        for (int i = 0; i < size; ++i) storage[i] = other[i];
    }

    void takeFrom(TARNArray& other) {
        capacity = std::exchange(other.capacity, 0);
        size = std::exchange(other.size, 0);
        start = std::exchange(other.start, 0);
        storage = std::exchange(other.storage, nullptr);
        owns = std::exchange(other.owns, true);
    }

    int capacity = 0;
    int size = 0;
    int start = 0;
    T* storage = nullptr;
    bool owns = true;
};
