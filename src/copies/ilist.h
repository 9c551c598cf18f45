// The intrusive-looking doubly linked list the installed-copy classes are built on: nodes that
// point at their elements, and a list with its own cursor that a search saves and restores.
#pragma once

#include <cstdint>
#include <memory>

template <typename T>
class ILIST;

// How a list frees the elements it owns: objects with delete, heap strings (char) with delete[].
template <typename T>
struct OwnedListElement {
  using Pointer = std::unique_ptr<T>;
};
template <>
struct OwnedListElement<char> {
  using Pointer = std::unique_ptr<char[]>;
};

// One list node. It does not own its element; only its list creates and destroys it.
template <typename T>
class INODE {
 public:
  INODE(const INODE&) = delete;
  INODE& operator=(const INODE&) = default;

  T* data;
  INODE* next;  // null at the tail
  INODE* prev;  // null at the head

 private:
  friend class ILIST<T>;
  explicit INODE(T* element) : data(element), next(nullptr), prev(nullptr) {}
  ~INODE() = default;
};

// A doubly linked list that owns its nodes and their elements. Not polymorphic: classes that
// derive from it are never destroyed through an ILIST pointer.
template <typename T>
class ILIST {
 public:
  using OwnedPointer = typename OwnedListElement<T>::Pointer;

  ILIST() = default;
  ~ILIST() {
    INODE<T>* node = head;
    while (node != nullptr) {
      INODE<T>* following = node->next;
      OwnedPointer release(node->data);
      delete node;
      node = following;
    }
  }

  ILIST(const ILIST&) = delete;
  ILIST& operator=(const ILIST&) = delete;

  // Takes ownership of `element` and puts it after the tail. The first node appended becomes
  // the cursor as well, so a fresh list's iteration continues after its first element.
  void Append(OwnedPointer element) {
    // The node comes first: should its allocation fail, `element` still frees what it holds.
    auto* node = new INODE<T>(nullptr);
    node->data = element.release();
    node->prev = tail;
    if (tail != nullptr) {
      tail->next = node;
    } else {
      head = node;
      cursor = node;
    }
    tail = node;
    ++count;
  }

  // Moves the cursor on and gives the element there; null (cursor unchanged) at the end.
  T* GetNext() {
    INODE<T>* node = cursor != nullptr ? cursor->next : head;
    if (node == nullptr) return nullptr;
    cursor = node;
    return node->data;
  }

  // Starts the iteration again from the head.
  void Rewind() { cursor = nullptr; }

  int32_t GetCount() const { return count; }
  const INODE<T>* GetHead() const { return head; }

 protected:
  // Keeps the cursor as a search found it and puts it back on every way out of the search.
  class SavedCursor {
   public:
    explicit SavedCursor(ILIST& owner) : list(owner) {
      list.savedCursor = list.cursor;
      list.cursor = nullptr;
    }
    ~SavedCursor() { list.cursor = list.savedCursor; }
    SavedCursor(const SavedCursor&) = delete;
    SavedCursor& operator=(const SavedCursor&) = delete;

   private:
    ILIST& list;
  };

 private:
  INODE<T>* head = nullptr;
  INODE<T>* cursor = nullptr;  // the node after it comes next; head when null
  INODE<T>* tail = nullptr;
  INODE<T>* savedCursor = nullptr;
  int32_t count = 0;
};
