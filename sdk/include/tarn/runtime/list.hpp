// Doubly linked list whose items are allocated one by one.
#pragma once

#include <utility>

// The linking of items, shared by every list whatever its values: TARNList<T> only adds
// the typed value and the item allocation.
class TARNBasicListItem {
  public:
    virtual ~TARNBasicListItem() = default;

  protected:
    friend class TARNBasicList;
    TARNBasicListItem* prev = nullptr;
    TARNBasicListItem* next = nullptr;
};

class TARNBasicList {
  public:
    virtual ~TARNBasicList() = default;
    // Number of items.
    int Count() const { return count; }
    bool IsEmpty() const { return count == 0; }

  protected:
    TARNBasicList() = default;
    TARNBasicList(const TARNBasicList&) = delete;
    TARNBasicList& operator=(const TARNBasicList&) = delete;

    void linkBack(TARNBasicListItem* item);
    void linkFront(TARNBasicListItem* item);
    // `position` must be an item of this list.
    void linkBefore(TARNBasicListItem* position, TARNBasicListItem* item);
    void linkAfter(TARNBasicListItem* position, TARNBasicListItem* item);
    // Takes the item out of the list; its own links are cleared.
    void unlink(TARNBasicListItem* item);
    // Empties the list without touching the items (they have been taken over).
    void forget() {
        head = tail = nullptr;
        count = 0;
    }

    TARNBasicListItem* head = nullptr;
    TARNBasicListItem* tail = nullptr;
    int count = 0;
};

// One item of a TARNList<T>: its links and a copy of the value. The item's destructor
// destroys the value; when the value is a pointer, what it points to is left alone.
template <class T>
class TARNListItem : public TARNBasicListItem {
  public:
    explicit TARNListItem(const T& value) : value(value) {}
    explicit TARNListItem(T&& value) : value(std::move(value)) {}

    T& Value() { return value; }
    const T& Value() const { return value; }
    // Neighbours in the list, null at the ends.
    TARNListItem* Next() const { return static_cast<TARNListItem*>(next); }
    TARNListItem* Prev() const { return static_cast<TARNListItem*>(prev); }

  private:
    T value;
};

// Doubly linked list with head, tail and count. The list owns its items (deleted from
// head to tail when the list is destroyed); the values are held by copy, so a list of
// pointers never deletes the objects pointed to.
template <class T>
class TARNList : public TARNBasicList {
  public:
    using Item = TARNListItem<T>;

    TARNList() = default;
    // Copies every value, in order, into items of its own.
    TARNList(const TARNList& other) : TARNBasicList() { append(other); }
    // Takes over the other list's items; the other list is left empty.
    TARNList(TARNList&& other) noexcept : TARNBasicList() { takeFrom(other); }
    ~TARNList() override { Clear(); }

    TARNList& operator=(const TARNList& other) {
        if (this != &other) {
            Clear();
            append(other);
        }
        return *this;
    }
    TARNList& operator=(TARNList&& other) noexcept {
        if (this != &other) {
            Clear();
            takeFrom(other);
        }
        return *this;
    }

    Item* Head() const { return static_cast<Item*>(head); }
    Item* Tail() const { return static_cast<Item*>(tail); }

    // Each of these copies the value into a new item and returns the item.
    Item* PushBack(const T& value) {
        Item* item = new Item(value);
        linkBack(item);
        return item;
    }
    Item* PushFront(const T& value) {
        Item* item = new Item(value);
        linkFront(item);
        return item;
    }
    // `position` must be an item of this list.
    Item* InsertBefore(Item* position, const T& value) {
        Item* item = new Item(value);
        linkBefore(position, item);
        return item;
    }
    Item* InsertAfter(Item* position, const T& value) {
        Item* item = new Item(value);
        linkAfter(position, item);
        return item;
    }

    // Takes the item (of this list) out of the list and hands it to the caller, who then
    // deletes it or links it into another list with Link*.
    Item* Unlink(Item* item) {
        unlink(item);
        return item;
    }
    // Unlinks and deletes the item (of this list).
    void Remove(Item* item) { delete Unlink(item); }
    // Links an item that belongs to no list.
    void LinkBack(Item* item) { linkBack(item); }
    void LinkFront(Item* item) { linkFront(item); }

    // The first item holding a value equal to `value`, or null.
    Item* Find(const T& value) const {
        for (Item* item = Head(); item; item = item->Next())
            if (item->Value() == value) return item;
        return nullptr;
    }

    // Deletes every item, head to tail.
    void Clear() {
        Item* item = Head();
        while (item) {
            Item* next = item->Next();
            delete item;
            item = next;
        }
        forget();
    }

    // Range-for over the values, head to tail. The current item must not be removed
    // while iterating.
    class Iterator {
      public:
        explicit Iterator(Item* item) : item(item) {}
        T& operator*() const { return item->Value(); }
        Iterator& operator++() {
            item = item->Next();
            return *this;
        }
        bool operator==(const Iterator& other) const { return item == other.item; }

      private:
        Item* item;
    };
    Iterator begin() const { return Iterator(Head()); }
    Iterator end() const { return Iterator(nullptr); }

  private:
    void append(const TARNList& other) {
        for (Item* item = other.Head(); item; item = item->Next()) PushBack(item->Value());
    }

    void takeFrom(TARNList& other) {
        head = other.head;
        tail = other.tail;
        count = other.count;
        other.forget();
    }
};

// A position in a list whatever its values: interfaces that hand positions out and take them
// back (the output rings) pass them as this, without showing the item type.
using TARNListIterator = TARNBasicListItem*;
