#include "tarn/runtime/list.hpp"

void TARNBasicList::linkBack(TARNBasicListItem* item) {
    item->next = nullptr;
    item->prev = tail;
    if (tail)
        tail->next = item;
    else
        head = item;
    tail = item;
    ++count;
}

void TARNBasicList::linkFront(TARNBasicListItem* item) {
    item->prev = nullptr;
    item->next = head;
    if (head)
        head->prev = item;
    else
        tail = item;
    head = item;
    ++count;
}

void TARNBasicList::linkBefore(TARNBasicListItem* position, TARNBasicListItem* item) {
    if (position == head) {
        linkFront(item);
        return;
    }
    item->prev = position->prev;
    item->next = position;
    position->prev->next = item;
    position->prev = item;
    ++count;
}

void TARNBasicList::linkAfter(TARNBasicListItem* position, TARNBasicListItem* item) {
    if (position == tail) {
        linkBack(item);
        return;
    }
    item->prev = position;
    item->next = position->next;
    position->next->prev = item;
    position->next = item;
    ++count;
}

void TARNBasicList::unlink(TARNBasicListItem* item) {
    if (item->prev)
        item->prev->next = item->next;
    else
        head = item->next;
    if (item->next)
        item->next->prev = item->prev;
    else
        tail = item->prev;
    item->prev = item->next = nullptr;
    --count;
}
